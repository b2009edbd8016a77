// Tests of the model records: list orders, connection building and lookups, release,
// extension rewriting and the top-level test.
#include "modelproc/class_copy.h"
#include "modelproc/extension_rewrite.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/model_records.h"
#include "modelproc/record_release.h"
#include "modelproc/tests/class_builder.h"
#include "platform/core/message_sink.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

class RecordsTest : public ::testing::Test {
protected:
    void TearDown() override { release_all(); }
};

std::vector<std::string> names(const SectionList<PortRec>& list)
{
    std::vector<std::string> result;
    for (const PortRec* p : list)
        result.push_back(p->name.str());
    return result;
}

} // namespace

TEST_F(RecordsTest, SectionListsAppendAndUnlink)
{
    ClassRec* cls = newClass();
    EXPECT_EQ(ttcount_ports(cls), 0);
    EXPECT_EQ(ttcount_ios(cls, 3), 0);
    EXPECT_EQ(ttcount_ios(cls, 4), 0);
    int visited = 0;
    for (PortRec* p : cls->ports) {
        (void)p;
        ++visited;
    }
    EXPECT_EQ(visited, 0);
    for (const char* name : {"a b", "c", "d"})
        newPort(cls)->name = intern_name(name);
    EXPECT_EQ(names(cls->ports), (std::vector<std::string>{"ab", "c", "d"}));
    EXPECT_EQ(cls->ports.first()->c_type, 4); // a new port is indifferent
    PortRec* middle = findPort(cls, "c");
    ASSERT_NE(middle, nullptr);
    EXPECT_EQ(findPort(cls, "C"), nullptr); // exact comparison
    SectionList<PortRec>::unlink(middle);
    SectionList<PortRec>::unlink(middle); // a second unlink does nothing
    EXPECT_EQ(names(cls->ports), (std::vector<std::string>{"ab", "d"}));
    EXPECT_EQ(ttcount_ports(cls), 2);
    newInput(cls);
    EXPECT_EQ(ttcount_ios(cls, 3), 1);
    EXPECT_EQ(ttcount_ios(cls, 4), 0);
}

// A walk from both ends meets in the middle whatever the count, odd or even, and gives every
// record once with its place counted from its own end.
TEST_F(RecordsTest, SectionListsAreWalkedFromBothEndsEachRecordOnce)
{
    for (int count = 0; count <= 5; ++count) {
        ClassRec* cls = newClass();
        for (int k = 0; k < count; ++k)
            newPort(cls)->name = intern_name(std::to_string(k).c_str());
        std::vector<std::string> order(static_cast<std::size_t>(count));
        int visits = 0;
        cls->ports.walkFromBothEnds(
            [&](std::size_t i, PortRec* p) {
                ++visits;
                order.at(i) = p->name.str();
            },
            [&](std::size_t j, PortRec* p) {
                ++visits;
                order.at(static_cast<std::size_t>(count) - 1 - j) = p->name.str();
            });
        EXPECT_EQ(visits, count);
        EXPECT_EQ(order, names(cls->ports)) << count << " records";
        if (count > 0) {
            EXPECT_EQ(SectionList<PortRec>::before(cls->ports.first()), nullptr);
        }
        if (count > 1) {
            EXPECT_EQ(SectionList<PortRec>::before(cls->ports.last())->name.str(), std::to_string(count - 2));
        }
    }
}

TEST_F(RecordsTest, SectionListsKeepTheirEndsThroughInsertsAndUnlinks)
{
    ClassRec* cls = newClass();
    EXPECT_EQ(cls->ports.first(), nullptr);
    EXPECT_EQ(cls->ports.last(), nullptr);
    PortRec* ports[4];
    for (int i = 0; i < 3; ++i) {
        ports[i] = newPort(cls);
        ports[i]->name = std::string(1, char('a' + i));
    }
    SectionLink* sentinel = ports[2]->next;
    EXPECT_TRUE(sentinel->isEnd());
    EXPECT_FALSE(ports[0]->isEnd());
    // Before the first record, and before the sentinel (at the tail).
    ports[3] = ProcessingArena().make<PortRec>();
    ports[3]->name = "z";
    SectionList<PortRec>::insertBefore(ports[3], ports[0]);
    EXPECT_EQ(names(cls->ports), (std::vector<std::string>{"z", "a", "b", "c"}));
    SectionList<PortRec>::unlink(ports[3]);
    SectionList<PortRec>::insertBefore(ports[3], sentinel);
    EXPECT_EQ(names(cls->ports), (std::vector<std::string>{"a", "b", "c", "z"}));
    EXPECT_EQ(cls->ports.last(), ports[3]);
    EXPECT_EQ(SectionList<PortRec>::after(ports[3]), nullptr);
    // Unlinking the last record leaves the sentinel marked and the list whole.
    SectionList<PortRec>::unlink(ports[3]);
    EXPECT_EQ(cls->ports.last(), ports[2]);
    EXPECT_TRUE(ports[2]->next->isEnd());
    newPort(cls)->name = "d";
    EXPECT_EQ(names(cls->ports), (std::vector<std::string>{"a", "b", "c", "d"}));
    while (PortRec* p = cls->ports.first())
        SectionList<PortRec>::unlink(p);
    EXPECT_TRUE(cls->ports.empty());
    EXPECT_EQ(cls->ports.last(), nullptr);
    EXPECT_EQ(cls->ports.count(), 0);
    EXPECT_TRUE(sentinel->isEnd());
    newPort(cls)->name = "e";
    EXPECT_EQ(names(cls->ports), (std::vector<std::string>{"e"}));
    EXPECT_EQ(cls->ports.first(), cls->ports.last());
}

TEST_F(RecordsTest, SectionListsHandOverAllTheirRecordsAtOnce)
{
    ClassRec* from = newClass();
    ClassRec* to = newClass();
    // Nothing to hand over leaves the receiving list as it was, empty or not.
    to->ports.appendAll(from->ports);
    EXPECT_TRUE(to->ports.empty());
    EXPECT_EQ(to->ports.last(), nullptr);
    newPort(to)->name = "a";
    to->ports.appendAll(from->ports);
    to->ports.appendAll(to->ports);
    EXPECT_EQ(names(to->ports), (std::vector<std::string>{"a"}));
    for (const char* name : {"b", "c", "d"})
        newPort(from)->name = name;
    to->ports.appendAll(from->ports);
    EXPECT_EQ(names(to->ports), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_TRUE(from->ports.empty());
    EXPECT_EQ(from->ports.first(), nullptr);
    EXPECT_EQ(from->ports.last(), nullptr);
    EXPECT_EQ(to->ports.count(), 4);
    // Both lists stay whole at both ends: appending, inserting and unlinking work on as before.
    PortRec* last = to->ports.last();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->name, "d");
    EXPECT_TRUE(last->next->isEnd());
    PortRec* moved = to->ports.first()->next ? static_cast<PortRec*>(to->ports.first()->next) : nullptr;
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->name, "b");
    EXPECT_EQ(moved->prev, to->ports.first());
    newPort(to)->name = "e";
    newPort(from)->name = "x";
    SectionList<PortRec>::unlink(moved);
    EXPECT_EQ(names(to->ports), (std::vector<std::string>{"a", "c", "d", "e"}));
    EXPECT_EQ(names(from->ports), (std::vector<std::string>{"x"}));
    SectionList<PortRec>::unlink(to->ports.last());
    SectionList<PortRec>::unlink(to->ports.last());
    EXPECT_EQ(names(to->ports), (std::vector<std::string>{"a", "c"}));
    from->ports.appendAll(to->ports);
    EXPECT_EQ(names(from->ports), (std::vector<std::string>{"x", "a", "c"}));
    EXPECT_TRUE(to->ports.empty());
    newPort(to)->name = "y";
    EXPECT_EQ(names(to->ports), (std::vector<std::string>{"y"}));
    EXPECT_EQ(to->ports.first(), to->ports.last());
}

TEST_F(RecordsTest, PtrListOrders)
{
    int a = 1, b = 2, c = 3;
    PtrList<int> list;
    list.append(&a);
    list.pushFront(&b);
    list.append(&c);
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.at(0), &b);
    EXPECT_EQ(list.at(1), &a);
    EXPECT_EQ(list.at(2), &c);
    PtrList<int> copy;
    ASSERT_TRUE(list.copyTo(copy));
    EXPECT_EQ(list.remove(&a), 1);
    EXPECT_EQ(list.remove(&a), 0);
    EXPECT_EQ(list.replace(&c, &a), 1);
    EXPECT_EQ(list.at(1), &a);
    EXPECT_EQ(copy.count(), 3); // the copy keeps its own nodes
    EXPECT_EQ(copy.at(1), &a);
}

TEST_F(RecordsTest, SubclassesShareTheirSubmodelType)
{
    ClassRec* cls = newClass();
    GraphBody* body = newGraphBody(cls);
    EXPECT_EQ(cls->type, CLASS_TOP);
    SubclassRec* first = newSubclass(body);
    SubclassRec* second = newSubclass(body);
    SubclassRec* other = newSubclass(body);
    ASSERT_TRUE(setSubclass(body, first, "m1", {}, {}, "motor", 1));
    ASSERT_TRUE(setSubclass(body, second, "m2", {}, {}, "motor", 1));
    ASSERT_TRUE(setSubclass(body, other, "m3", {}, {}, "motor", 2));
    EXPECT_EQ(first->type, second->type);
    EXPECT_NE(first->type, other->type);
    EXPECT_EQ(body->types.count(), 2);
    // Users newest first.
    EXPECT_EQ(first->type->users.at(0), second);
    EXPECT_EQ(first->type->users.at(1), first);
    EXPECT_EQ(first->type->users.at(2), nullptr);
    EXPECT_EQ(countSubclasses(cls), 3);
}

// A type's users are linked through the subclasses themselves: one leaves from anywhere in the
// list without disturbing the others, leaves nothing when it is not there, and can join another
// type's users afterwards.
TEST_F(RecordsTest, UsersLeaveAndJoinTheirTypesLists)
{
    ClassRec* cls = newClass();
    GraphBody* body = newGraphBody(cls);
    std::vector<SubclassRec*> subs;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        subs.push_back(newSubclass(body));
        ASSERT_TRUE(setSubclass(body, subs.back(), name, {}, {}, "motor", 1));
    }
    SubmodelType* type = subs[0]->type;
    const auto names = [](const UserList& users) {
        std::string text;
        for (const SubclassRec* user : users)
            text += user->name.view();
        return text;
    };
    EXPECT_EQ(names(type->users), "edcba");
    EXPECT_EQ(type->users.count(), 5);
    EXPECT_TRUE(type->users.remove(subs[2]));
    EXPECT_FALSE(type->users.remove(subs[2]));
    EXPECT_TRUE(type->users.remove(subs[4]));
    EXPECT_EQ(names(type->users), "dba");
    type->users.removeIf([&](const SubclassRec* user) { return user == subs[0] || user == subs[3]; });
    EXPECT_EQ(names(type->users), "b");
    SubmodelType* other = newSubmodelType(body);
    for (SubclassRec* sub : {subs[2], subs[4], subs[0]})
        other->users.pushFront(sub);
    EXPECT_EQ(names(other->users), "aec");
    EXPECT_EQ(names(type->users), "b");
    other->users.clear();
    EXPECT_TRUE(other->users.empty());
    EXPECT_EQ(subs[4]->nextUser, nullptr);
    EXPECT_EQ(names(type->users), "b");
}

TEST_F(RecordsTest, BondsAtAPortCountFromTheNewest)
{
    ClassRec* cls = newClass();
    GraphBody* body = newGraphBody(cls);
    PortRec* own = newPort(cls);
    SubclassRec* sub = newSubclass(body);
    setSubclass(body, sub, "r", {}, {}, "resist", 1);
    BondRec* bonds[3];
    for (BondRec*& bond : bonds) {
        ParsedConnection parsed;
        parsed.kind = 1;
        parsed.ends[0].type = END_SUB;
        parsed.ends[0].node = sub;
        parsed.ends[0].name = "p";
        parsed.ends[1].type = END_POR;
        parsed.ends[1].node = own;
        parsed.caus = CAUS_FCY;
        parsed.dir = 1;
        bond = static_cast<BondRec*>(buildConnection(body, parsed));
        ASSERT_NE(bond, nullptr);
    }
    // Each new bond goes to the front of the subclass's bonds.
    EXPECT_EQ(subclassBondAtPort(sub, "p"), bonds[2]);
    EXPECT_EQ(subclassNthBondAtPort(sub, "p", 2), bonds[1]);
    EXPECT_EQ(subclassNthBondAtPort(sub, "p", 3), bonds[0]);
    EXPECT_EQ(subclassNthBondAtPort(sub, "p", 4), nullptr);
    EXPECT_EQ(subclassBondAtPort(sub, "q"), nullptr);
    EXPECT_EQ(own->bond, bonds[2]); // the port's bond is the last one set
    EXPECT_EQ(countBonds(cls), 3);
    EXPECT_EQ(whichEnd(bonds[0], sub), 0);
    EXPECT_EQ(whichEnd(bonds[0], own), 1);
    EXPECT_EQ(whichEnd(bonds[0], nullptr), -1);
    EXPECT_EQ(connectionEndOf(bonds[0], body->subclasses.first())->name, "p");
    EXPECT_EQ(otherEnd(bonds[0], sub)->node, own);
    EXPECT_EQ(setBondCaus(bonds[0], CAUS_ECY), 0); // already set
    EXPECT_EQ(bonds[0]->caus, CAUS_FCY);
}

TEST_F(RecordsTest, SignalEndsFollowTheDirection)
{
    ClassRec* cls = newClass();
    GraphBody* body = newGraphBody(cls);
    SubclassRec* a = newSubclass(body);
    SubclassRec* b = newSubclass(body);
    for (int dir : {1, 2}) {
        ParsedConnection parsed;
        parsed.kind = 5;
        parsed.dir = static_cast<unsigned char>(dir);
        parsed.ends[0] = ParsedEnd{END_SINP, a, {}, "x", {}};
        parsed.ends[1] = ParsedEnd{END_SINP, b, {}, "y", {}};
        auto* sig = static_cast<SigconRec*>(buildConnection(body, parsed));
        ASSERT_NE(sig, nullptr);
        // dir 1: end 0 is the source (SOUT), end 1 the destination (SINP); dir 2 the reverse.
        EXPECT_EQ(sig->con[0].type, dir == 1 ? END_SOUT : END_SINP);
        EXPECT_EQ(sig->con[1].type, dir == 1 ? END_SINP : END_SOUT);
    }
    EXPECT_NE(subclassOutputSignal(a, "x"), nullptr);
    EXPECT_NE(subclassInputSignal(a, "x"), nullptr);
    EXPECT_EQ(subclassOutputSignal(a, "x")->dir, 1);
    EXPECT_EQ(subclassInputSignal(b, "y")->dir, 1);
    EXPECT_EQ(subclassOutputSignal(b, "y")->dir, 2);
    EXPECT_EQ(countSigcons(cls), 2);
    IoRec* in = newInput(cls);
    ParsedConnection own;
    own.kind = 3;
    own.dir = 1;
    own.ends[0] = ParsedEnd{END_INP, in, {}, "", {}};
    own.ends[1] = ParsedEnd{END_SINP, a, {}, "x", {}};
    auto* sig = static_cast<SigconRec*>(buildConnection(body, own));
    ASSERT_NE(sig, nullptr);
    EXPECT_EQ(sig->con[0].type, END_INP); // own ends keep their type
    EXPECT_EQ(in->signals.at(0), sig);
}

TEST_F(RecordsTest, CausalitySeenFromEitherEnd)
{
    const struct {
        unsigned char fromEnd0;
        unsigned char fromEnd1;
    } cases[] = {
        {CAUS_NONE, CAUS_NONE},     {CAUS_ECY, CAUS_FCY},   {CAUS_FCY, CAUS_ECY},
        {CAUS_USER_E, CAUS_USER_F}, {CAUS_USER_F, CAUS_USER_E}, {CAUS_1ECY, CAUS_NONE},
        {CAUS_1FCY, CAUS_NONE},     {CAUS_SAME, CAUS_NONE},
    };
    for (const auto& c : cases) {
        BondRec bond;
        bond.caus = c.fromEnd0;
        EXPECT_EQ(bondCausalityFrom(&bond, 0), c.fromEnd0);
        EXPECT_EQ(bondCausalityFrom(&bond, 1), c.fromEnd1) << causalityText(c.fromEnd0);
    }
}

TEST_F(RecordsTest, ExpressionNodesLinkTheirOperandsAndFlags)
{
    ExprNode* one = makeIntegerConstant("12");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->intValue(), 12);
    EXPECT_EQ(makeIntegerConstant("1x"), nullptr);
    ExprNode* real = makeRealConstant("1.5e3");
    ASSERT_NE(real, nullptr);
    EXPECT_DOUBLE_EQ(real->realValue(), 1500.0);
    VarRec var;
    ExprNode* ref = makeLeaf(0, &var, TK_VARIABLENAME, nullptr, {});
    ExprNode* sum = makeOperator(one, ref, TK_PLUS);
    EXPECT_EQ(sum->left(), one);
    EXPECT_EQ(sum->right(), ref);
    EXPECT_EQ(sum->flags, 1); // OR of the children's flags
    ExprNode* cond = makeConditional(makeBooleanConstant(true), sum, real);
    EXPECT_EQ(cond->extra(), real);
    EquationRec eq;
    eq.left = makeLeaf(0, &var, TK_VARIABLENAME, nullptr, {});
    eq.right = makeOperator(cond, makeLeaf(0, nullptr, TK_TIME, nullptr, {}), TK_MULT);
    rebuildVariableChain(&eq);
    // Newest first: time, the reference in the sum, the left side.
    ASSERT_NE(eq.variables, nullptr);
    EXPECT_EQ(eq.variables->kind, TK_TIME);
    EXPECT_EQ(eq.variables->extra(), ref);
    EXPECT_EQ(ref->extra(), eq.left);
    EXPECT_EQ(eq.left->extra(), nullptr);
}

// A zero-element array is legal (dimension 0): no box, and no null that reads as out of memory.
TEST_F(RecordsTest, ZeroElementArraysAreLegal)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scope(sink);
    VarRec* var = newClassVariable(newClass(), CLASS_VARIABLES);
    setVariable(var, "v", testsupport::ClassBuilder::dims({0}), TYPE_REAL);
    EXPECT_TRUE(newFlagArray(static_cast<std::size_t>(elementCount(var->dim)), 1).empty());
    EXPECT_TRUE(newFlagArray(3, 1) == (std::vector<std::int32_t>{1, 1, 1}));
    EXPECT_TRUE(sink.transcript().empty());
}

namespace {

/// Counts its destructions, newest first, into a log.
struct Tracked {
    explicit Tracked(std::vector<int>* log_ = nullptr, int id_ = 0) : log(log_), id(id_) {}
    ~Tracked()
    {
        if (log)
            log->push_back(id);
    }
    std::vector<int>* log;
    int id;
    std::string name = "a name too long for the string's own buffer";
};

} // namespace

// An arena that serves one short-lived set of records after another ends each set, newest first,
// and lays the next where the first lay, however many chunks the set took.
TEST_F(RecordsTest, RecycledArenaEndsItsObjectsAndServesAgainFromItsFirstChunk)
{
    RecordArena room;
    std::vector<int> ended;
    Tracked* first = room.make<Tracked>(&ended, 1);
    ASSERT_TRUE(first);
    for (int i = 2; i <= 5000; ++i) // more than the first chunk holds
        ASSERT_TRUE(room.make<Tracked>(&ended, i));
    EXPECT_EQ(room.size(), 5000u);
    room.recycle();
    ASSERT_EQ(ended.size(), 5000u);
    EXPECT_EQ(ended.front(), 5000);
    EXPECT_EQ(ended.back(), 1);
    EXPECT_EQ(room.size(), 0u);
    ended.clear();
    Tracked* again = room.make<Tracked>(&ended, 9);
    EXPECT_EQ(again, first);
    room.recycle();
    room.recycle(); // nothing left to end
    EXPECT_EQ(ended, std::vector<int>{9});
    // Arrays of records without a destructor come value-initialised; none of no elements.
    auto* ends = room.makeArray<EndRef>(3);
    ASSERT_TRUE(ends);
    EXPECT_FALSE(ends[0] || ends[1] || ends[2]);
    EXPECT_EQ(room.makeArray<EndRef>(0), nullptr);
    EXPECT_EQ(room.size(), 3u);
}

// An arena counts the bytes it hands out, with what records skip to keep their alignment, also
// across chunks and for a record too large for any chunk; clearing or recycling starts again.
// Texts lie apart from the records: neither skips room for the other.
TEST_F(RecordsTest, ArenaCountsTheBytesItHandsOut)
{
    RecordArena room;
    EXPECT_EQ(room.bytesUsed(), 0u);
    ASSERT_TRUE(room.make<ExprNode>());
    ASSERT_TRUE(room.make<ExprNode>());
    EXPECT_EQ(room.bytesUsed(), 2 * sizeof(ExprNode));
    const char* abc = room.copyText("abc");
    ASSERT_TRUE(abc);
    EXPECT_EQ(room.bytesUsed(), 2 * sizeof(ExprNode) + 4);
    ASSERT_TRUE(room.make<ExprNode>());
    EXPECT_EQ(room.bytesUsed(), 3 * sizeof(ExprNode) + 4);
    const char* de = room.copyText("de");
    EXPECT_EQ(de, abc + 4);
    EXPECT_EQ(room.bytesUsed(), 3 * sizeof(ExprNode) + 7);
    auto* even = static_cast<const char*>(room.makeTextBytes(2, 2)); // skips one to an even bound
    EXPECT_EQ(even, de + 4);
    EXPECT_EQ(room.bytesUsed(), 3 * sizeof(ExprNode) + 10);
    EXPECT_STREQ(abc, "abc");
    EXPECT_STREQ(de, "de");
    for (int i = 0; i < 10000; ++i) // past the first chunks
        ASSERT_TRUE(room.make<ExprNode>());
    EXPECT_EQ(room.bytesUsed(), 10003 * sizeof(ExprNode) + 10);
    ASSERT_TRUE(room.makeBytes(std::size_t(9) << 20));
    EXPECT_EQ(room.bytesUsed(), 10003 * sizeof(ExprNode) + 10 + (std::size_t(9) << 20));
    const std::string longText(std::size_t(9) << 20, 'x'); // a text too large for any chunk
    const char* copy = room.copyText(longText);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy, longText);
    EXPECT_STREQ(room.copyText("after"), "after");
    room.recycle();
    EXPECT_EQ(room.bytesUsed(), 0u);
    ASSERT_TRUE(room.makeBytes(5));
    EXPECT_EQ(room.bytesUsed(), 8u);
    EXPECT_STREQ(room.copyText("again"), "again");
    room.clear();
    EXPECT_EQ(room.bytesUsed(), 0u);
    EXPECT_STREQ(room.copyText("new"), "new");
}

// Pieces laid on past the large pages of the arena's chunks, where it stops to have the pages ahead
// made present, keep their places and contents, small ones and ones larger than a page alike:
// none overlaps another, and the bytes counted are the bytes asked for.
TEST_F(RecordsTest, PiecesRunOnAcrossTheLargePagesOfAChunk)
{
    RecordArena room;
    struct Piece {
        unsigned char* at;
        std::size_t size;
        unsigned char mark;
    };
    std::vector<Piece> pieces;
    std::size_t asked = 0;
    for (int i = 0; i < 1500; ++i) {
        const std::size_t size = i % 500 == 250 ? (std::size_t(3) << 20) + 8 : std::size_t(4096) * (1 + i % 7) + 24;
        auto* at = static_cast<unsigned char*>(room.makeBytes(size));
        ASSERT_TRUE(at);
        const auto mark = static_cast<unsigned char>(1 + i % 251);
        std::memset(at, mark, size);
        pieces.push_back({at, size, mark});
        asked += size;
    }
    EXPECT_EQ(room.bytesUsed(), asked);
    std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.at < b.at; });
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const Piece& p = pieces[k];
        EXPECT_EQ(p.at[0], p.mark) << k;
        EXPECT_EQ(p.at[p.size / 2], p.mark) << k;
        EXPECT_EQ(p.at[p.size - 1], p.mark) << k;
        if (k + 1 < pieces.size()) {
            EXPECT_LE(p.at + p.size, pieces[k + 1].at) << k;
        }
    }
}

// Names of the graph hold their characters in the graph arena: a copy shares them, an empty name
// takes none, and a name compares by its characters.
TEST_F(RecordsTest, GraphNamesShareTheirCharactersAndCompareByThem)
{
    GraphName name;
    EXPECT_TRUE(name.empty());
    EXPECT_EQ(name, "");
    const std::size_t before = GraphArena().size();
    ASSERT_TRUE(name.assign(std::string(40, 'x')));
    GraphName copy = name;
    EXPECT_EQ(copy.c_str(), name.c_str());
    GraphName same;
    same = std::string(40, 'x');
    EXPECT_NE(same.c_str(), name.c_str());
    EXPECT_EQ(same, name);
    EXPECT_EQ(name.size(), 40u);
    EXPECT_EQ("<" + name + ">", "<" + std::string(40, 'x') + ">");
    ASSERT_TRUE(name.assign(""));
    EXPECT_TRUE(name.empty());
    EXPECT_FALSE(copy.empty());
    EXPECT_EQ(GraphArena().size(), before); // the characters are no records
}

// The port and io names of connection ends share one copy of each text, bonds' and signals'
// alike; a run that follows the release of the last one makes its names anew.
TEST_F(RecordsTest, EndNamesShareOneCopyOfEachText)
{
    const auto ends = [] {
        ClassRec* cls = newClass();
        GraphBody* body = newGraphBody(cls);
        SubclassRec* a = newSubclass(body);
        SubclassRec* b = newSubclass(body);
        EXPECT_TRUE(setSubclass(body, a, "a", {}, {}, "t", 1));
        EXPECT_TRUE(setSubclass(body, b, "b", {}, {}, "t", 1));
        std::vector<const ConnEnd*> made;
        for (const char* port : {"p1", "p 2", "p1", "p2"}) {
            BondRec* bond = newBond(body);
            EXPECT_TRUE(setBondEndSub(bond, 0, a, {}, port, {}));
            EXPECT_TRUE(setBondEndSub(bond, 1, b, {}, "p1", {}));
            made.push_back(&bond->con[0]);
            made.push_back(&bond->con[1]);
        }
        SigconRec* sig = newSigcon(body);
        EXPECT_TRUE(setSigconEndSub(sig, 0, END_SOUT, a, {}, "p2", {}));
        EXPECT_TRUE(setSigconEndSub(sig, 1, END_SINP, b, {}, "", {}));
        made.push_back(&sig->con[0]);
        made.push_back(&sig->con[1]);
        return made;
    };
    std::vector<const ConnEnd*> made = ends();
    ASSERT_EQ(made.size(), 10u);
    EXPECT_EQ(made[0]->name, "p1");
    EXPECT_EQ(made[2]->name, "p2"); // blanks go
    for (std::size_t i : {1u, 3u, 4u, 5u, 7u})
        EXPECT_EQ(made[i]->name.c_str(), made[0]->name.c_str()) << i;
    EXPECT_EQ(made[6]->name.c_str(), made[2]->name.c_str());
    EXPECT_EQ(made[8]->name.c_str(), made[2]->name.c_str());
    EXPECT_TRUE(made[9]->name.empty());
    release_all();
    made = ends();
    EXPECT_EQ(made[0]->name, "p1");
    EXPECT_EQ(made[2]->name, "p2");
    EXPECT_EQ(made[5]->name.c_str(), made[0]->name.c_str());
}

TEST_F(RecordsTest, ReleaseFreesEachBlockOnce)
{
    testsupport::ClassBuilder b("rel", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x", {2});
    b.eq(testsupport::ClassBuilder::ref(x, TK_VARIABLENAME, {testsupport::ClassBuilder::integer(1)}),
         testsupport::ClassBuilder::num(1));
    std::vector<int> ended;
    Tracked* twice = ProcessingArena().make<Tracked>(&ended, 7);
    ASSERT_TRUE(twice);
    register_release(twice);
    register_release(twice);
    register_release(nullptr);
    EXPECT_EQ(registeredReleaseCount(), 2u); // handed over twice ...
    ttfree_class(b.cls);
    std::size_t released = registeredReleaseCount();
    EXPECT_GT(released, 7u); // class, body, variable, its dimension, equation, nodes...
    EXPECT_GT(ProcessingArena().size(), 0u);
    EXPECT_EQ(release_all(), released);
    EXPECT_EQ(ended, std::vector<int>{7}); // ... and ended once
    EXPECT_EQ(registeredReleaseCount(), 0u);
    EXPECT_EQ(ProcessingArena().size(), 0u);
}

// A bond end keeps the port it was last given only while the port is one of the class asked
// about and still has the end's name: a copy of the class, or a renamed end, looks it up anew.
TEST_F(RecordsTest, BondEndKeepsItsPortOnlyForTheClassThatOwnsIt)
{
    ClassRec* type = newClass();
    PortRec* p = newPort(type);
    p->name = "p";
    PortRec* q = newPort(type);
    q->name = "q";
    EXPECT_EQ(p->number, 0);
    EXPECT_EQ(q->number, 1);
    ClassRec* copy = copyClass(type);
    ASSERT_TRUE(copy);
    ConnEnd end;
    end.name = "q";
    end.port = q;
    EXPECT_EQ(keptPort(end, type), q);
    EXPECT_EQ(keptPort(end, copy), nullptr);
    EXPECT_EQ(keptPort(end, nullptr), nullptr);
    end.port = findPort(copy, "q");
    ASSERT_TRUE(end.port);
    EXPECT_EQ(end.port->number, 1);
    EXPECT_EQ(keptPort(end, copy), end.port);
    EXPECT_EQ(keptPort(end, type), nullptr);
    end.name = "p";
    EXPECT_EQ(keptPort(end, copy), nullptr);
}

// The bond ends at a subclass are laid out by the number of their port, and at each port by
// their bonds' slots, the highest first (of a bond with both ends at one port, end 1 first),
// whatever order the subclass listed them in. Ends without a port of the subclass's class kept,
// and signal ends, are left out; index lists are kept where any end has them. An end put in
// front of a port's ends later goes before them.
TEST_F(RecordsTest, ConnectedEndsAreLaidOutByPortNewestFirst)
{
    ClassRec* cls = newClass();
    GraphBody* body = newGraphBody(cls);
    ClassRec* elem = newClass();
    PortRec* ports[3];
    for (int i = 0; i < 3; ++i) {
        ports[i] = newPort(elem);
        ports[i]->name = std::string(1, char('p' + i));
    }
    SubclassRec* sub = newSubclass(body);
    SubclassRec* other = newSubclass(body);
    ASSERT_TRUE(setSubclass(body, sub, "s", {}, {}, "elem", 1));
    ASSERT_TRUE(setSubclass(body, other, "o", {}, {}, "elem", 1));
    sub->cls = other->cls = elem;
    // {port at sub, slot, port at the other end (-1: both ends at sub, at port r), caus, dir}
    const struct {
        int port;
        int slot;
        int far;
        unsigned char caus;
        unsigned char dir;
    } bonds[] = {{2, 5, 0, 1, 1}, {0, 1, 1, 2, 2}, {2, 3, -1, 1, 2}, {0, 9, 1, 1, 1}, {1, 7, 2, 2, 1}};
    for (const auto& b : bonds) {
        BondRec* bond = newBond(body);
        ASSERT_TRUE(setBondEndSub(bond, 0, sub, {}, ports[b.port]->name, {}));
        SubclassRec* far = b.far < 0 ? sub : other;
        const PortRec* farPort = ports[b.far < 0 ? 2 : b.far];
        ExprList index;
        index.append(makeIntegerConstant(b.slot));
        ASSERT_TRUE(setBondEndSub(bond, 1, far, {}, farPort->name, b.far < 0 ? index : ExprList{}));
        bond->caus = b.caus;
        bond->dir = b.dir;
        for (int end = 0; end < 2; ++end) {
            bond->con[end].slot = b.slot;
            bond->con[end].port = findPort(elem, bond->con[end].name);
        }
    }
    // An end whose port was not found, and a signal, are not tabled.
    BondRec* lost = newBond(body);
    ASSERT_TRUE(setBondEndSub(lost, 0, sub, {}, "zz", {}));
    lost->con[0].slot = 11;
    SigconRec* sig = newSigcon(body);
    ASSERT_TRUE(setSigconEndSub(sig, 0, END_SOUT, sub, {}, "y", {}));

    ASSERT_TRUE(tableConnectedEnds(sub));
    ASSERT_TRUE(sub->portEnds);
    EXPECT_EQ(sub->portEnds->size(), 6u);
    EXPECT_TRUE(sub->portEnds->indexed());
    const auto read = [&](const PortRec* port) {
        std::vector<std::string> ends;
        for (ConnectedEnd e : ConnectedEnds(sub, port))
            ends.push_back(std::to_string(e.slot()) + "/" + std::to_string(e.causality()) + "/" +
                           std::to_string(e.direction()) + (e.indices().index.empty() ? "" : "i"));
        return ends;
    };
    EXPECT_EQ(read(ports[0]), (std::vector<std::string>{"9/1/1", "1/2/2"}));
    EXPECT_EQ(read(ports[1]), (std::vector<std::string>{"7/2/1"}));
    // The bond from r to r: end 1 (seen mirrored, with its index) before end 0.
    EXPECT_EQ(read(ports[2]), (std::vector<std::string>{"5/1/1", "3/2/1i", "3/1/2"}));
    ASSERT_TRUE(tableConnectedEnds(other));
    EXPECT_FALSE(other->portEnds->indexed());
    EXPECT_EQ(ConnectedEnds(other, ports[1]).count(), 2);

    // One more end in front of port q.
    BondRec* late = newBond(body);
    ASSERT_TRUE(setBondEndSub(late, 1, sub, {}, "q", {}));
    late->con[1].slot = 2;
    late->caus = 1;
    ASSERT_TRUE(connectEndAtPort(sub, ports[1], late, 1));
    EXPECT_EQ(read(ports[1]), (std::vector<std::string>{"2/2/1", "7/2/1"}));
    EXPECT_EQ(read(ports[2]), (std::vector<std::string>{"5/1/1", "3/2/1i", "3/1/2"}));
    EXPECT_EQ(read(ports[0]), (std::vector<std::string>{"9/1/1", "1/2/2"}));
    // A port of another class with no number of this one lists nothing.
    ClassRec* wider = newClass();
    PortRec* beyond = nullptr;
    for (int i = 0; i < 5; ++i)
        beyond = newPort(wider);
    EXPECT_TRUE(ConnectedEnds(sub, beyond).empty());
    EXPECT_TRUE(ConnectedEnds(sub, nullptr).empty());
}

// The records that only describe the graph live apart: giving them back mid-run leaves the
// variables, equations and expressions, the top class's among them, as they were.
TEST_F(RecordsTest, GraphRecordsGoBackWhileVariablesAndEquationsStay)
{
    testsupport::ClassBuilder element("elem", 1);
    VarRec* x = element.var(CLASS_VARIABLES, "a_variable_name_too_long_for_the_own_buffer", {3});
    element.eq(testsupport::ClassBuilder::ref(x, TK_VARIABLENAME, {testsupport::ClassBuilder::integer(2)}),
               testsupport::ClassBuilder::num(1.5));
    newPort(element.cls)->name = "p";

    ClassRec* top = newClass();
    GraphBody* graph = newGraphBody(top);
    SubclassRec* sub = newSubclass(graph);
    ASSERT_TRUE(setSubclass(graph, sub, "e1", {}, {}, "elem", 1));
    auto* enclosing = GraphArena().make<EnclosingModel>();
    ASSERT_TRUE(enclosing);
    enclosing->instance = "an enclosing instance name beyond the short buffer";
    enclosing->outer = GraphArena().make<EnclosingModel>();
    sub->within = enclosing;
    EXPECT_EQ(instance_name(sub), "an enclosing instance name beyond the short buffer`e1");
    ASSERT_TRUE(newBond(graph));
    sub->cls = copyClass(element.cls);
    ASSERT_TRUE(sub->cls);
    EXPECT_TRUE(sub->cls->instanceCopy);
    EXPECT_FALSE(element.cls->instanceCopy);
    EXPECT_GT(GraphArena().size(), 5u); // graph body, subclass, type, bond, their list nodes, copy, port
    // The copy's variables and equations are what collection moves into the top class.
    VarRec* copied = sub->cls->variables.first();
    EquationRec* equation = sub->cls->equations->equations.first();
    ASSERT_TRUE(copied && equation);
    SectionList<VarRec>::unlink(copied);
    top->variables.append(copied);
    top->graph = nullptr;
    ASSERT_TRUE(newEquationBody(top));
    SectionList<EquationRec>::unlink(equation);
    top->equations->equations.append(equation);

    const std::size_t kept = ProcessingArena().size();
    releaseGraphRecords();
    EXPECT_EQ(GraphArena().size(), 0u);
    EXPECT_EQ(ProcessingArena().size(), kept);
    EXPECT_EQ(top->variables.first()->name, "a_variable_name_too_long_for_the_own_buffer");
    EquationRec* moved = top->equations->equations.first();
    ASSERT_EQ(moved, equation);
    EXPECT_EQ(moved->left->var(), copied);
    EXPECT_EQ(moved->left->index().head->item->intValue(), 2);
    EXPECT_DOUBLE_EQ(moved->right->realValue(), 1.5);
    // Both arenas serve the next records and end with the run.
    EXPECT_TRUE(newSubclass(newGraphBody(newClass())));
    release_all();
    EXPECT_EQ(GraphArena().size(), 0u);
    EXPECT_EQ(ProcessingArena().size(), 0u);
}

// Element flags of one or two elements live in the record, more on the heap; copies are
// independent either way and a moved-from array is empty.
TEST_F(RecordsTest, FlagArraysCopyAndMoveTheirElements)
{
    for (std::size_t count : {std::size_t(0), std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(1000)}) {
        FlagArray flags = newFlagArray(count, 1);
        ASSERT_EQ(flags.size(), count);
        if (count > 0)
            flags[count - 1] = 5;
        FlagArray copy = flags;
        if (count > 0) {
            copy[count - 1] = 7;
            EXPECT_EQ(flags[count - 1], 5);
        }
        std::vector<std::int32_t> expected(count, 1);
        if (count > 0)
            expected[count - 1] = 7;
        EXPECT_TRUE(copy == expected) << count;
        FlagArray moved = std::move(copy);
        EXPECT_TRUE(moved == expected) << count;
        EXPECT_TRUE(copy.empty());
        copy = moved;
        moved = newFlagArray(2, 0);
        EXPECT_TRUE(copy == expected) << count;
        EXPECT_TRUE(moved == (std::vector<std::int32_t>{0, 0}));
    }
}

// The aliases keep their order as a list grows past its block again and again; a copy grows on
// its own, and an empty alias counts as one.
TEST_F(RecordsTest, AliasListsKeepTheirOrderThroughCopiesAndMoves)
{
    AliasList none;
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none.begin(), none.end());
    AliasList one;
    one.push_back(""); // an empty alias is an alias
    EXPECT_EQ(one, (std::vector<std::string>{""}));
    AliasList many;
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) {
        expected.push_back("alias number " + std::to_string(i) + " of a long list");
        many.push_back(expected.back());
    }
    EXPECT_EQ(many.size(), 40u);
    EXPECT_EQ(many, expected);
    AliasList copy = many;
    copy.push_back("only in the copy");
    EXPECT_EQ(many, expected);
    EXPECT_EQ(copy.size(), 41u);
    EXPECT_EQ(copy[40], "only in the copy");
    AliasList moved = std::move(copy);
    EXPECT_EQ(moved.size(), 41u);
    moved = one;
    EXPECT_EQ(moved, (std::vector<std::string>{""}));
    moved.push_back("grown from a shared one"); // the one alias the copy shares stays as it was
    EXPECT_EQ(moved, (std::vector<std::string>{"", "grown from a shared one"}));
    EXPECT_EQ(one, (std::vector<std::string>{""}));
    // An alias taken from the list itself survives the list's move to a larger block.
    AliasList own;
    own.push_back("first of its own list");
    for (int i = 0; i < 6; ++i)
        own.push_back(own[own.size() - 1]);
    EXPECT_EQ(own, std::vector<std::string>(7, "first of its own list"));
    // A copied variable gets aliases of its own.
    VarRec* var = ProcessingArena().make<VarRec>();
    var->name = "x";
    var->aliases = many;
    VarRec* twin = ProcessingArena().make<VarRec>();
    twin->aliases = var->aliases;
    twin->aliases.push_back("y");
    EXPECT_EQ(var->aliases.size(), 40u);
    EXPECT_EQ(variableFullName(*var).substr(0, 21), "x_&_alias number 0 of");
}

// An alias of any length comes back as it went in, alone or among others: a short one's length
// takes one byte, a long one's five.
TEST_F(RecordsTest, AliasesOfEveryLengthComeBackWhole)
{
    const std::vector<std::size_t> lengths = {0, 1, 127, 128, 129, 255, 256, 300, 70000};
    std::vector<std::string> texts;
    for (std::size_t length : lengths) {
        std::string text(length, 'a');
        for (std::size_t i = 0; i < length; ++i)
            text[i] = static_cast<char>('a' + (i * 7 + length) % 26);
        texts.push_back(text);
    }
    AliasList all;
    for (const std::string& text : texts) {
        AliasList alone;
        alone.push_back(text);
        EXPECT_EQ(alone, std::vector<std::string>{text}) << text.size();
        all.push_back(text);
    }
    EXPECT_EQ(all, texts);
    // One short alias alone takes its characters and one byte more, and one to lie on an even
    // bound where it must.
    const std::size_t before = ProcessingArena().bytesUsed();
    AliasList shortOne;
    shortOne.push_back("m0`p.e");
    EXPECT_GE(ProcessingArena().bytesUsed() - before, 7u);
    EXPECT_LE(ProcessingArena().bytesUsed() - before, 8u);
}

// The copy's address map answers every record entered, however many, with the last copy entered
// for it, and forgets them all when cleared while keeping its room.
TEST_F(RecordsTest, AddressMapAnswersEveryRecordEntered)
{
    std::vector<int> olds(5000), news(5000);
    AddressMap map;
    EXPECT_EQ(map.lookup(&olds[0]), nullptr); // an empty map knows nothing
    for (std::size_t i = 0; i < olds.size(); ++i)
        map.enter(&olds[i], &news[olds.size() - 1 - i]);
    map.enter(&olds[7], &news[7]);
    for (std::size_t i = 0; i < olds.size(); ++i)
        ASSERT_EQ(map.lookup(&olds[i]), i == 7 ? &news[7] : &news[olds.size() - 1 - i]) << i;
    EXPECT_EQ(map.lookup(&news[0]), nullptr);
    EXPECT_EQ(map.lookup<int>(nullptr), nullptr);
    map.clear();
    for (std::size_t i = 0; i < olds.size(); i += 97)
        EXPECT_EQ(map.lookup(&olds[i]), nullptr);
    map.enter(&olds[3], &news[1]);
    EXPECT_EQ(map.lookup(&olds[3]), &news[1]);
    EXPECT_EQ(map.lookup(&olds[4]), nullptr);
}

// Records of every size, many more than one chunk holds and larger than any chunk, keep their
// values and alignment, and each destructor runs once, newest first.
TEST_F(RecordsTest, ArenaKeepsRecordsApartAndEndsThemNewestFirst)
{
    std::vector<int> ended;
    std::vector<ExprNode*> nodes;
    std::vector<Tracked*> tracked;
    struct Large {
        char bytes[9 << 20];
    };
    for (int i = 0; i < 100000; ++i) {
        ExprNode* node = ProcessingArena().make<ExprNode>();
        ASSERT_TRUE(node);
        EXPECT_EQ(node->kind, 0);
        node->setKind(TK_INTEGER);
        node->setIntValue(i);
        nodes.push_back(node);
        if (i % 1000 == 0)
            tracked.push_back(ProcessingArena().make<Tracked>(&ended, i));
        if (i % 40000 == 0) {
            auto* large = ProcessingArena().make<Large>();
            ASSERT_TRUE(large);
            EXPECT_EQ(large->bytes[sizeof large->bytes - 1], 0);
        }
    }
    for (int i = 0; i < 100000; ++i) {
        ASSERT_EQ(nodes[std::size_t(i)]->intValue(), i);
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(nodes[std::size_t(i)]) % alignof(ExprNode), 0u);
    }
    for (Tracked* t : tracked) {
        EXPECT_EQ(t->name, "a name too long for the string's own buffer");
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(t) % alignof(Tracked), 0u);
    }
    EXPECT_EQ(ProcessingArena().size(), 100000u + 100 + 3);
    ProcessingArena().clear();
    ASSERT_EQ(ended.size(), 100u);
    for (std::size_t k = 0; k < ended.size(); ++k)
        EXPECT_EQ(ended[k], int(99 - k) * 1000);
    EXPECT_EQ(ProcessingArena().size(), 0u);
    // A record of a stricter alignment after one of a single byte still gets its alignment.
    struct alignas(16) Wide {
        double values[2];
    };
    struct Byte {
        char c;
    };
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(ProcessingArena().make<Byte>());
        Wide* wide = ProcessingArena().make<Wide>();
        ASSERT_TRUE(wide);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(wide) % 16, 0u);
    }
    ProcessingArena().clear();
    // The arena is used again after a clear.
    ExprNode* again = ProcessingArena().make<ExprNode>();
    ASSERT_TRUE(again);
    again->setKind(TK_PLUS);
    EXPECT_EQ(again->left(), nullptr);
    EXPECT_EQ(again->right(), nullptr);
}

TEST_F(RecordsTest, ArenaEndsEveryKindOfRecordOnceEachKindNewestFirst)
{
    struct alignas(16) WideTracked : Tracked {
        using Tracked::Tracked;
        double value = 1.5;
    };
    struct NarrowTracked {
        explicit NarrowTracked(std::vector<int>* log_, int id_) : log(log_), id(id_) {}
        ~NarrowTracked() { log->push_back(id); }
        std::vector<int>* log;
        int id;
    };
    std::vector<int> wide, plain, narrow;
    for (int i = 0; i < 3000; ++i) {
        // The kinds are interleaved with records that need no ending.
        ASSERT_TRUE(GraphArena().make<ExprNode>());
        auto* w = GraphArena().make<WideTracked>(&wide, i);
        ASSERT_TRUE(w);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(w) % 16, 0u);
        ASSERT_TRUE(GraphArena().make<Tracked>(&plain, i));
        if (i % 3 == 0) {
            ASSERT_TRUE(GraphArena().make<NarrowTracked>(&narrow, i));
        }
    }
    GraphArena().clear();
    ASSERT_EQ(wide.size(), 3000u);
    ASSERT_EQ(plain.size(), 3000u);
    ASSERT_EQ(narrow.size(), 1000u);
    for (std::size_t k = 0; k < 3000; ++k) {
        EXPECT_EQ(wide[k], int(2999 - k));
        EXPECT_EQ(plain[k], int(2999 - k));
    }
    for (std::size_t k = 0; k < 1000; ++k)
        EXPECT_EQ(narrow[k], int(999 - k) * 3);
    // A second clear ends nothing again.
    GraphArena().clear();
    EXPECT_EQ(wide.size(), 3000u);
}

TEST_F(RecordsTest, FreeingAClassReleasesBondsOnceBothEndsAreGone)
{
    ClassRec* inner = newClass();
    PortRec* port = newPort(inner);
    ClassRec* cls = newClass();
    GraphBody* body = newGraphBody(cls);
    SubclassRec* sub = newSubclass(body);
    setSubclass(body, sub, "s", {}, {}, "t", 1);
    BondRec* bond = newBond(body);
    setBondEndSub(bond, 0, sub, {}, "p", {});
    setBondEndPort(bond, 1, port, {});
    releaseSubclass(sub);
    EXPECT_EQ(bond->con[0].type, END_EMPTY);
    EXPECT_EQ(bond->con[1].node, port); // still in use by the port
    EXPECT_EQ(countBonds(cls), 1);
    ttfree_class(inner);
    EXPECT_EQ(countBonds(cls), 0); // both ends empty: unlinked and released
    ttfree_class(cls);
}

// A connection with both ends at one subclass (between two elements of an instance array, or
// from its output to its own input) goes with the subclass; one to another subclass stays there,
// listed by it alone.
TEST_F(RecordsTest, ReleasingASubclassReleasesItsConnectionsToItself)
{
    ClassRec* cls = newClass();
    GraphBody* body = newGraphBody(cls);
    SubclassRec* sub = newSubclass(body);
    SubclassRec* other = newSubclass(body);
    ASSERT_TRUE(setSubclass(body, sub, "s", {}, {}, "t", 1));
    ASSERT_TRUE(setSubclass(body, other, "o", {}, {}, "t", 1));
    BondRec* before = newBond(body);
    ASSERT_TRUE(setBondEndSub(before, 0, other, {}, "p", {}));
    ASSERT_TRUE(setBondEndSub(before, 1, sub, {}, "q", {}));
    BondRec* itself = newBond(body);
    ASSERT_TRUE(setBondEndSub(itself, 0, sub, {}, "p", {}));
    ASSERT_TRUE(setBondEndSub(itself, 1, sub, {}, "q", {}));
    SigconRec* loop = newSigcon(body);
    ASSERT_TRUE(setSigconEndSub(loop, 0, END_SOUT, sub, {}, "y", {}));
    ASSERT_TRUE(setSigconEndSub(loop, 1, END_SINP, sub, {}, "u", {}));
    BondRec* after = newBond(body);
    ASSERT_TRUE(setBondEndSub(after, 1, other, {}, "q", {}));
    ASSERT_TRUE(setBondEndSub(after, 0, sub, {}, "r", {}));
    EXPECT_EQ(bondsAt(sub).count(), 4);
    EXPECT_EQ(inputSignalsAt(sub).count(), 1);
    EXPECT_EQ(outputSignalsAt(sub).count(), 1);
    EXPECT_EQ(subclassBondAtPort(sub, "r"), after);
    releaseSubclass(sub);
    EXPECT_EQ(countBonds(cls), 2);
    EXPECT_EQ(countSigcons(cls), 0);
    EXPECT_EQ(body->bonds.first(), before);
    EXPECT_EQ(body->bonds.last(), after);
    EXPECT_EQ(before->con[1].type, END_EMPTY);
    EXPECT_EQ(after->con[0].type, END_EMPTY);
    std::vector<EndRef> left;
    for (EndRef at : EndsAt(other))
        left.push_back(at);
    EXPECT_EQ(left, (std::vector<EndRef>{EndRef(after, 1), EndRef(before, 0)}));
}

TEST(ExtensionRewrite, Table)
{
    const struct {
        const char* path;
        const char* code;
        const char* expected;
    } cases[] = {
        {"dir/model1.sg1", "?3", "dir/model1.sg3"},
        {"dir/model1.sg1", "+3", "dir/model1.mg3"},
        {"dir/model1.mg1", "-0", "dir/model1.sg0"},
        {"dir/model1.mff", "?3", "dir/model1.mf3"},
        {"dir/model1.mgg", "t2", "dir/model1.t2"},
        {"dir/model1.mgg", "t1", "dir/model1.t1"},
        {"dir/model1.mgg", "abc", "dir/model1.abc"},
        {"dir/model1", "+3", "dir/model1"},
        // Only the last path component has an extension.
        {"my.models/model1", "?3", "my.models/model1"},
        {"my.models/model1", "t2", "my.models/model1"},
        {"my.models/model1.mg1", "?3", "my.models/model1.mg3"},
        // A short extension is never written past.
        {"model1.m", "+3", "model1.m"},
        {"model1.", "?3", "model1."},
        {"model1.m", "t2", "model1.t2"},
    };
    for (const auto& c : cases) {
        std::string path = c.path;
        std::string& result = ttchange_extension(path, c.code);
        EXPECT_EQ(&result, &path);
        EXPECT_EQ(path, c.expected) << c.path << " " << c.code;
    }
}

TEST_F(RecordsTest, TopLevelMeansNoPortsInputsOrOutputs)
{
    EXPECT_EQ(is_top_level(nullptr), 0);
    ClassRec* cls = newClass();
    EXPECT_EQ(is_top_level(cls), 1);
    newOutput(cls);
    EXPECT_EQ(is_top_level(cls), 0);
    ClassRec* withPort = newClass();
    newPort(withPort);
    EXPECT_EQ(is_top_level(withPort), 0);
}

// A numbering answers from the variables while it is the newest one, and from its own table once
// a newer numbering has written over them or a number does not fit; the last number given holds.
TEST_F(RecordsTest, VariableNumberingSurvivesANewerNumbering)
{
    ClassRec* cls = newClass();
    std::vector<VarRec*> vars;
    for (int i = 0; i < 5; ++i)
        vars.push_back(newClassVariable(cls, CLASS_VARIABLES));
    VarRec* stranger = newClassVariable(cls, CLASS_PARAMETERS);

    VariableNumbering outer;
    for (int i = 0; i < 5; ++i)
        outer.set(vars[std::size_t(i)], 10 * i);
    outer.set(vars[2], 99); // given again: the last one holds
    EXPECT_EQ(outer.find(vars[0]), 0);
    EXPECT_EQ(outer.find(vars[2]), 99);
    EXPECT_EQ(outer.find(stranger), -1);
    {
        VariableNumbering inner;
        inner.set(vars[1], 7);
        inner.set(stranger, 3);
        EXPECT_EQ(inner.find(vars[1]), 7);
        EXPECT_EQ(inner.find(vars[0]), -1); // numbered by the outer one only
        EXPECT_EQ(inner.find(stranger), 3);
        // The outer numbering still answers its own numbers.
        EXPECT_EQ(outer.find(vars[1]), 10);
        EXPECT_EQ(outer.find(vars[2]), 99);
        EXPECT_EQ(outer.find(stranger), -1);
    }
    outer.set(vars[4], 5);
    EXPECT_EQ(outer.find(vars[4]), 5);
    EXPECT_EQ(outer.find(vars[3]), 30);

    VariableNumbering large;
    large.set(vars[0], 1);
    large.set(vars[1], std::int64_t(1) << 40);
    EXPECT_EQ(large.find(vars[0]), 1);
    EXPECT_EQ(large.find(vars[1]), std::int64_t(1) << 40);
    EXPECT_EQ(large.find(vars[2]), -1);

    // A restarted numbering knows only what it is given after, even a number too large to keep
    // in a variable before; one made before it falls back on its own numbers.
    large.restart();
    EXPECT_EQ(large.find(vars[0]), -1);
    EXPECT_EQ(large.find(vars[1]), -1);
    large.set(vars[3], 4);
    EXPECT_EQ(large.find(vars[3]), 4);
    EXPECT_EQ(large.find(vars[1]), -1);
    outer.restart();
    EXPECT_EQ(outer.find(vars[3]), -1);
    outer.set(vars[3], 8);
    EXPECT_EQ(large.find(vars[3]), 4);
    EXPECT_EQ(outer.find(vars[3]), 8);
}

// Numberings alive together, each giving numbers after the others did: each answers the last
// number it gave, whichever of them holds the variable now, also once the others are gone or
// made anew.
TEST_F(RecordsTest, VariableNumberingsGivingNumbersInTurn)
{
    ClassRec* cls = newClass();
    std::vector<VarRec*> vars;
    for (int i = 0; i < 4; ++i)
        vars.push_back(newClassVariable(cls, CLASS_VARIABLES));
    VarRec* v = vars[0];

    VariableNumbering first;
    first.set(v, 1);
    auto second = std::make_unique<VariableNumbering>();
    second->set(v, 2);
    VariableNumbering third;
    third.set(v, 3);
    EXPECT_EQ(first.find(v), 1);
    EXPECT_EQ(second->find(v), 2);
    EXPECT_EQ(third.find(v), 3);

    // An older numbering gives the variable a new number while a newer one holds it.
    first.set(v, 11);
    EXPECT_EQ(first.find(v), 11);
    EXPECT_EQ(second->find(v), 2);
    EXPECT_EQ(third.find(v), 3);
    third.set(v, 13);
    first.set(v, 21);
    EXPECT_EQ(first.find(v), 21);
    EXPECT_EQ(third.find(v), 13);

    // A numbering made anew forgets its numbers, but not those of the others.
    second->restart();
    EXPECT_EQ(second->find(v), -1);
    second->set(v, 32);
    EXPECT_EQ(first.find(v), 21);
    EXPECT_EQ(second->find(v), 32);
    EXPECT_EQ(third.find(v), 13);

    // Once the holder is gone, the others still answer, and give numbers again.
    second.reset();
    EXPECT_EQ(first.find(v), 21);
    EXPECT_EQ(third.find(v), 13);
    third.set(v, 23);
    first.set(v, 31);
    EXPECT_EQ(first.find(v), 31);
    EXPECT_EQ(third.find(v), 23);

    // A numbering made after all of them knows none of their numbers, and takes nothing from them.
    {
        VariableNumbering later;
        for (VarRec* var : vars)
            EXPECT_EQ(later.find(var), -1);
        for (std::size_t i = 0; i < vars.size(); ++i)
            later.set(vars[i], 100 + std::int64_t(i));
        for (std::size_t i = 0; i < vars.size(); ++i)
            EXPECT_EQ(later.find(vars[i]), 100 + std::int64_t(i));
        EXPECT_EQ(first.find(v), 31);
        EXPECT_EQ(third.find(v), 23);
        EXPECT_EQ(first.find(vars[1]), -1);
    }
    EXPECT_EQ(first.find(v), 31);
    EXPECT_EQ(third.find(v), 23);
    EXPECT_EQ(third.find(vars[2]), -1);

    // A number too large for the variable replaces one kept there, and is replaced in turn.
    const std::int64_t large = std::int64_t(1) << 40;
    first.set(vars[3], 5);
    first.set(vars[3], large);
    EXPECT_EQ(first.find(vars[3]), large);
    EXPECT_EQ(third.find(vars[3]), -1);
    first.set(vars[3], 6);
    EXPECT_EQ(first.find(vars[3]), 6);
}
