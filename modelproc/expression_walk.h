// Walks over expression trees with an explicit stack instead of the call stack, so that an
// expression of any depth (a sum of a million terms is a tree a million levels deep) is walked
// in memory proportional to its depth, never overflowing the stack.
#pragma once

#include "modelproc/model_records.h"

#include <cstddef>
#include <new>
#include <string>
#include <utility>
#include <vector>

/// A stack of a walk, taken from a pool of emptied stacks that keep their room and given back at
/// the end of the walk, so that the walks over millions of small trees allocate nothing. Walks may
/// nest: each takes a stack of its own. A stack grown past `kKeptElements` is not kept. Each
/// thread has a pool of its own.
template <class T>
class ScratchStack {
public:
    ScratchStack()
    {
        std::vector<std::vector<T>>& free = pool();
        if (!free.empty()) {
            m_items = std::move(free.back());
            free.pop_back();
        }
    }
    ~ScratchStack()
    {
        if (m_items.capacity() == 0 || m_items.capacity() > kKeptElements)
            return;
        m_items.clear();
        try {
            pool().push_back(std::move(m_items));
        } catch (const std::bad_alloc&) {
            // Not kept: the next walk allocates its own.
        }
    }
    ScratchStack(const ScratchStack&) = delete;
    ScratchStack& operator=(const ScratchStack&) = delete;

    std::vector<T>& operator*() { return m_items; }

private:
    static constexpr std::size_t kKeptElements = 1 << 16;
    static std::vector<std::vector<T>>& pool()
    {
        static thread_local std::vector<std::vector<T>> free;
        return free;
    }
    std::vector<T> m_items;
};

/// Calls `visit(child)` for each operand of the node in text order: the indices of a name
/// reference, the arguments of a call, the operand of a unary operator, the two operands of a
/// binary operator or a range, and the condition, then-part and else-part of a conditional.
/// Null operands are skipped.
template <class Node, class Visit>
void forEachOperand(Node* node, Visit&& visit)
{
    const int kind = node->kind;
    if (isNameKind(kind)) {
        for (ExprNode* i : node->index())
            if (i)
                visit(i);
    } else if (kind == TK_FUNCTIONNAME) {
        for (ExprNode* a : node->args())
            if (a)
                visit(a);
    } else if (isUnaryOperator(kind)) {
        if (ExprNode* right = node->right())
            visit(right);
    } else if (hasOperands(kind)) {
        if (ExprNode* left = node->left())
            visit(left);
        if (ExprNode* right = node->right())
            visit(right);
        if (kind == TK_IF && node->extra())
            visit(node->extra());
    }
}

/// The way down from `root` to `target`: the nodes that hold `target`, its operand's holder
/// first and `root` last (none when `target` is the root). False, with no way, when the tree does
/// not hold `target`. Nodes do not know their holders, so the way is found by walking the tree.
template <class Node>
bool pathTo(Node* root, const ExprNode* target, std::vector<Node*>& holders)
{
    holders.clear();
    constexpr std::size_t kNone = ~std::size_t(0);
    struct Seen {
        Node* node;
        std::size_t holder; ///< where the node's holder is among the nodes seen
    };
    ScratchStack<Seen> seenStack;
    ScratchStack<std::size_t> pendingStack;
    std::vector<Seen>& seen = *seenStack;
    std::vector<std::size_t>& pending = *pendingStack;
    if (!root)
        return false;
    seen.push_back({root, kNone});
    pending.push_back(0);
    while (!pending.empty()) {
        const std::size_t at = pending.back();
        pending.pop_back();
        Node* node = seen[at].node;
        if (node == target) {
            for (std::size_t h = seen[at].holder; h != kNone; h = seen[h].holder)
                holders.push_back(seen[h].node);
            return true;
        }
        forEachOperand(node, [&](Node* operand) {
            seen.push_back({operand, at});
            pending.push_back(seen.size() - 1);
        });
    }
    return false;
}

/// Calls `visit(node)` on every node of the tree for which `isName(kind)` holds (the name
/// references, say), in text order, walking the indices of such nodes, the arguments of calls and
/// the left and right operands (and a conditional's else-part) of every other node; the `extra`
/// link of a name or time node (the chain of its equation) is never followed. With
/// `indicesFirst` a name is visited after the names in its own indices; otherwise before them,
/// and `visit` may replace its indices, which are then walked as they are after it.
template <class IsName, class Visit>
void forEachName(ExprNode* root, bool indicesFirst, IsName&& isName, Visit&& visit)
{
    struct Entry {
        ExprNode* node;
        bool visitNow; ///< a name whose indices have been walked
    };
    ScratchStack<Entry> pendingStack;
    ScratchStack<ExprNode*> operandStack;
    std::vector<Entry>& pending = *pendingStack;
    std::vector<ExprNode*>& operands = *operandStack;
    pending.push_back({root, false});
    while (!pending.empty()) {
        const Entry entry = pending.back();
        pending.pop_back();
        ExprNode* node = entry.node;
        if (!node)
            continue;
        if (entry.visitNow) {
            visit(node);
            continue;
        }
        operands.clear();
        if (isName(node->kind)) {
            if (indicesFirst)
                pending.push_back({node, true});
            else
                visit(node);
            for (ExprNode* i : node->index())
                operands.push_back(i);
        } else if (node->kind == TK_FUNCTIONNAME) {
            for (ExprNode* a : node->args())
                operands.push_back(a);
        } else if (hasOperands(node->kind)) {
            operands.push_back(node->left());
            operands.push_back(node->right());
            if (node->kind == TK_IF)
                operands.push_back(node->extra());
        }
        for (auto it = operands.rbegin(); it != operands.rend(); ++it)
            pending.push_back({*it, false});
    }
}

/// A new node of the arena with the fields of `from` (kind, function, selector, flags, literal
/// values) but none of its operands; null when memory is exhausted.
inline ExprNode* newNodeLike(const ExprNode* from)
{
    ExprNode* node = ProcessingArena().make<ExprNode>();
    if (!node)
        return nullptr;
    node->setKind(from->kind);
    node->function = from->function;
    node->selector = from->selector;
    node->flags = from->flags;
    node->copyValueOf(*from);
    return node;
}

/// Calls `visit(node)` on every node of the tree, each before its operands and the operands in
/// text order. `visit` returns false to leave the node's operands out.
template <class Node, class Visit>
void forEachNode(Node* root, Visit&& visit)
{
    ScratchStack<Node*> pendingStack;
    ScratchStack<Node*> operandStack;
    std::vector<Node*>& pending = *pendingStack;
    std::vector<Node*>& operands = *operandStack;
    if (root)
        pending.push_back(root);
    while (!pending.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        if (!visit(node))
            continue;
        operands.clear();
        forEachOperand(node, [&](ExprNode* child) { operands.push_back(child); });
        for (auto it = operands.rbegin(); it != operands.rend(); ++it)
            pending.push_back(*it);
    }
}

/// Calls `leave(node)` on every node of the tree after all of its operands, the operands in
/// text order: a post-order walk, for work that needs its operands done first.
template <class Node, class Leave>
void forEachNodeAfterOperands(Node* root, Leave&& leave)
{
    struct Frame {
        Node* node;
        bool expanded;
    };
    ScratchStack<Frame> pendingStack;
    ScratchStack<Node*> operandStack;
    std::vector<Frame>& pending = *pendingStack;
    std::vector<Node*>& operands = *operandStack;
    if (root)
        pending.push_back({root, false});
    while (!pending.empty()) {
        Frame& top = pending.back();
        if (top.expanded) {
            Node* node = top.node;
            pending.pop_back();
            leave(node);
            continue;
        }
        top.expanded = true;
        Node* node = top.node;
        operands.clear();
        forEachOperand(node, [&](ExprNode* child) { operands.push_back(child); });
        for (auto it = operands.rbegin(); it != operands.rend(); ++it)
            pending.push_back({*it, false});
    }
}

/// Copies the tree without recursion. `copyNode(original)` makes the copy of one node with its own
/// fields and none of its operands (null when it cannot); the operands are then copied the same
/// way into the places they had, in text order. The copy of the root, or null when some node
/// could not be copied (what was made stays with the arena).
template <class CopyNode>
ExprNode* copyTree(const ExprNode* root, CopyNode&& copyNode)
{
    /// Where the copy of an operand goes in its parent's copy.
    enum class Place : unsigned char { Root, Left, Right, Else, List };
    struct Pending {
        const ExprNode* from;
        ExprNode* parent;
        Place place;
        unsigned char relation; ///< of an item of a list
        ExprList* list;         ///< the list a list item is appended to
    };
    ExprNode* rootCopy = nullptr;
    bool ok = true;
    ScratchStack<Pending> pendingStack;
    ScratchStack<Pending> operandStack;
    std::vector<Pending>& pending = *pendingStack;
    std::vector<Pending>& operands = *operandStack;
    pending.push_back({root, nullptr, Place::Root, 0, nullptr});
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        ExprNode* copy = p.from ? copyNode(p.from) : nullptr;
        if (p.from && !copy)
            ok = false;
        switch (p.place) {
        case Place::Root: rootCopy = copy; break;
        case Place::Left: p.parent->setLeft(copy); break;
        case Place::Right: p.parent->setRight(copy); break;
        case Place::Else: p.parent->setExtra(copy); break;
        case Place::List:
            if (!p.list->append(copy, p.relation))
                ok = false;
            break;
        }
        if (!copy)
            continue;
        operands.clear();
        const int kind = p.from->kind;
        if (isNameKind(kind) || kind == TK_FUNCTIONNAME) {
            const ExprList& from = isNameKind(kind) ? p.from->index() : p.from->args();
            ExprList& to = isNameKind(kind) ? copy->mutableIndex() : copy->mutableArgs();
            for (const PtrNode<ExprNode>* n = from.head; n; n = n->next)
                operands.push_back({n->item, copy, Place::List, n->relation, &to});
        } else if (isUnaryOperator(kind)) {
            operands.push_back({p.from->right(), copy, Place::Right, 0, nullptr});
        } else if (hasOperands(kind)) {
            operands.push_back({p.from->left(), copy, Place::Left, 0, nullptr});
            operands.push_back({p.from->right(), copy, Place::Right, 0, nullptr});
            if (kind == TK_IF)
                operands.push_back({p.from->extra(), copy, Place::Else, 0, nullptr});
        }
        for (auto it = operands.rbegin(); it != operands.rend(); ++it)
            pending.push_back(*it);
    }
    return ok ? rootCopy : nullptr;
}

/// One piece of an expression's text: an operand still to be written (with a flag for its
/// writer, such as "is an operand of an operator"), or a text to emit (with a flag saying how).
struct TextPiece {
    const ExprNode* node = nullptr;
    bool isOperand = false;
    int flag = 0;
    std::string text;

    static TextPiece operand(const ExprNode* node, int flag = 0) { return {node, true, flag, {}}; }
    static TextPiece of(std::string text, int flag = 0) { return {nullptr, false, flag, std::move(text)}; }
};

/// Writes an expression without recursion. `expand(node, flag, pieces)` appends, in text order,
/// the pieces that the node (possibly null) is written as: texts, and operands that are expanded
/// in their turn. `emit(piece)` receives every text piece in text order.
template <class Expand, class Emit>
void writeExpressionText(const ExprNode* root, int flag, Expand&& expand, Emit&& emit)
{
    ScratchStack<TextPiece> pendingStack;
    ScratchStack<TextPiece> pieceStack;
    std::vector<TextPiece>& pending = *pendingStack;
    std::vector<TextPiece>& pieces = *pieceStack;
    pending.push_back(TextPiece::operand(root, flag));
    while (!pending.empty()) {
        TextPiece piece = std::move(pending.back());
        pending.pop_back();
        if (!piece.isOperand) {
            emit(piece);
            continue;
        }
        pieces.clear();
        expand(piece.node, piece.flag, pieces);
        for (auto it = pieces.rbegin(); it != pieces.rend(); ++it)
            pending.push_back(std::move(*it));
    }
}
