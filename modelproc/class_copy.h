// Deep copy of a class description, one private copy per submodel instance.
#pragma once

#include "modelproc/model_records.h"

#include <cstddef>
#include <cstdint>
#include <vector>

/// Old record addresses to the addresses of their copies, for one class copy: an open-addressing
/// table, so that entering a record costs no allocation of its own and a cleared map keeps its room.
class AddressMap {
public:
    void clear()
    {
        for (std::uint32_t slot : m_used)
            m_slots[slot] = {};
        m_used.clear();
    }
    void enter(const void* oldAddress, void* newAddress)
    {
        if (!oldAddress)
            return;
        if (2 * (m_used.size() + 1) > m_slots.size())
            grow();
        Slot& slot = m_slots[find(oldAddress)];
        if (!slot.from) {
            slot.from = oldAddress;
            m_used.push_back(static_cast<std::uint32_t>(&slot - m_slots.data()));
        }
        slot.to = newAddress;
    }
    /// The copy of a record; null when it was not copied.
    template <class T>
    T* lookup(const T* oldAddress) const
    {
        if (!oldAddress || m_used.empty())
            return nullptr;
        return static_cast<T*>(m_slots[find(oldAddress)].to);
    }

private:
    struct Slot {
        const void* from = nullptr;
        void* to = nullptr;
    };
    /// The slot holding the address, or the empty slot where it would go.
    std::size_t find(const void* address) const
    {
        const std::size_t mask = m_slots.size() - 1;
        std::uint64_t h = reinterpret_cast<std::uintptr_t>(address);
        h = (h ^ (h >> 29)) * 0xbf58476d1ce4e5b9ULL;
        for (std::size_t i = (h ^ (h >> 32)) & mask;; i = (i + 1) & mask)
            if (m_slots[i].from == address || !m_slots[i].from)
                return i;
    }
    void grow()
    {
        std::vector<Slot> old;
        old.swap(m_slots);
        m_slots.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
        m_used.clear();
        for (const Slot& slot : old)
            if (slot.from) {
                const std::size_t i = find(slot.from);
                m_slots[i] = slot;
                m_used.push_back(static_cast<std::uint32_t>(i));
            }
    }

    std::vector<Slot> m_slots; ///< a power of two in size, at most half full
    std::vector<std::uint32_t> m_used; ///< the slots in use
};

/// A deep copy whose every internal reference points into the copy; null when memory runs out.
ClassRec* copyClass(const ClassRec* old);
/// A deep copy whose class record and equation body are made in `shellArena`. Without
/// `ownPorts` the copy gets no ports: its references to ports stay with the old class's.
ClassRec* copyClass(const ClassRec* old, RecordArena& shellArena, bool ownPorts);

/// Gives a subclass that took its type's class (see `sharesTypeClass`) a copy of its own, as
/// expansion would have given it, but without ports of its own and with its class record and
/// equation body made in `shellArena`. False when memory runs out.
bool copyTypeClassFor(SubclassRec* sub, RecordArena& shellArena);

/// A deep copy of an expression; name references point to the copies the map knows.
ExprNode* copyExpression(const ExprNode* expr, AddressMap& map);
/// Copies every expression of the list, in order; false when memory runs out.
bool copyExpressionList(const ExprList& from, ExprList& to, AddressMap& map);
