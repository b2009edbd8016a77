// BdList and its iterator: deep copies, the last link after every change,
// removing and inserting while walking, and the checks on wrong use.
#include <bdlist>

#include "common/bd_string.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Ints = std::vector<int>;

template <class T>
std::vector<T> values(const BdList<T>& list)
{
    std::vector<T> result;
    for (const BdLink<T>* link = list.firstLink(); link; link = link->next())
        result.push_back(link->value());
    return result;
}

/// The last link found by walking must be the one the list keeps.
template <class T>
void expectLastLinkRight(const BdList<T>& list)
{
    const BdLink<T>* last = list.firstLink();
    while (last && last->next())
        last = last->next();
    EXPECT_EQ(list.lastLink(), last);
}

BdList<int> listOf(const Ints& items)
{
    BdList<int> list;
    for (int item : items)
        list.append(item);
    return list;
}

} // namespace

TEST(BdList, LastLinkStaysRightAfterEveryChange)
{
    BdList<int> list;
    list.prepend(2);
    expectLastLinkRight(list);
    list.append(3);
    list.prepend(1);
    list.insertAfter(list.lastLink(), 4);
    expectLastLinkRight(list);
    list.insertAfter(list.firstLink(), 9);
    EXPECT_EQ(values(list), (Ints{1, 9, 2, 3, 4}));
    EXPECT_EQ(list.length(), 5u);
    while (!list.isEmpty()) {
        list.removeFirst();
        expectLastLinkRight(list);
    }
    list.append(5); // a stale last link would lose this
    EXPECT_EQ(values(list), (Ints{5}));
}

TEST(BdList, CopiesShareNoLinks)
{
    BdList<BdString> source;
    source.append("alias");
    source.append("dir");
    BdList<BdString> copied(source);
    BdList<BdString> assigned;
    assigned.append("old");
    assigned = source;
    const auto cloned = source.clone();
    BdList<BdString> appended;
    appended.append(source);
    for (const BdList<BdString>* copy : {&copied, &assigned, cloned.get(), &appended}) {
        ASSERT_EQ(values(*copy), values(source));
        EXPECT_NE(copy->firstLink(), source.firstLink());
        expectLastLinkRight(*copy);
    }
    source.clear(); // each copy is destroyed on its own at the end
    EXPECT_EQ(source.lastLink(), nullptr);
    EXPECT_EQ(copied.first(), "alias");

    BdList<int> list = listOf({1, 2});
    BdList<int>& same = list;
    list = same;
    list.append(same);
    EXPECT_EQ(values(list), (Ints{1, 2, 1, 2}));
    expectLastLinkRight(list);
    BdList<int> moved(std::move(list));
    EXPECT_TRUE(list.isEmpty());
    list = std::move(moved);
    EXPECT_EQ(list.length(), 4u);
}

TEST(BdListIterator, AfterRemovingTheFirstElementTheWalkGoesOnWithTheNewFirst)
{
    BdList<int> list = listOf({1, 2, 3});
    BdListIterator<int> it(list);
    it.remove();
    ASSERT_TRUE(it.valid());
    EXPECT_EQ(it.current(), 2);
}

TEST(BdListIterator, RemovingWhileWalkingKeepsTheRestAndTheLastLink)
{
    const struct {
        Ints items;
        int removedModulus;
        Ints kept;
    } cases[] = {
        {{1, 2, 3, 4}, 1, {}}, {{1, 2, 3, 4, 5, 6}, 2, {1, 3, 5}}, {{2, 4, 1}, 2, {1}}, {{1, 3, 4}, 2, {1, 3}},
    };
    for (const auto& c : cases) {
        BdList<int> list = listOf(c.items);
        Ints visited;
        BdListIterator<int> it(list);
        while (it.valid()) {
            visited.push_back(it.current());
            if (it.current() % c.removedModulus == 0)
                it.remove();
            else
                it.advance();
        }
        EXPECT_EQ(visited, c.items);
        EXPECT_EQ(values(list), c.kept);
        expectLastLinkRight(list);
    }
}

TEST(BdListIterator, InsertingAroundTheCurrentLink)
{
    BdList<int> list = listOf({1, 3});
    BdListIterator<int> it(list);
    it.insertBeforeCurrent(0);
    it.advance();
    it.insertBeforeCurrent(2);
    it.insertAfterCurrent(4);
    EXPECT_EQ(it.current(), 3);
    EXPECT_TRUE(it.hasNext());
    while (it.advance()) {
    }
    it.insertAfterCurrent(5); // past the end: appended and current
    EXPECT_EQ(it.current(), 5);
    list.append(6);
    EXPECT_EQ(values(list), (Ints{0, 1, 2, 3, 4, 5, 6}));

    BdList<int> empty;
    BdListIterator<int> onEmpty(empty);
    onEmpty.insertAfterCurrent(8);
    EXPECT_EQ(onEmpty.current(), 8);
    expectLastLinkRight(empty);
}

TEST(BdListDeathTest, WrongUseIsReportedWithTheCheck)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    BdList<int> empty;
    EXPECT_DEATH(empty.first(), "bdlist:[0-9]+: .*Assertion `m_first != nullptr' failed");
    EXPECT_DEATH(empty.removeFirst(), "m_first != nullptr");
    BdListIterator<int> it(empty);
    EXPECT_DEATH(it.replace(1), "m_current != nullptr");
    EXPECT_DEATH(it.remove(), "m_current != nullptr");
}
