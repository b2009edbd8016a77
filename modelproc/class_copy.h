// Deep copy of a class description, one private copy per submodel instance.
#pragma once

#include "modelproc/model_records.h"

#include <unordered_map>

/// Old record addresses to the addresses of their copies, for one class copy.
class AddressMap {
public:
    void clear() { m_map.clear(); }
    void enter(const void* oldAddress, void* newAddress) { m_map[oldAddress] = newAddress; }
    /// The copy of a record; null when it was not copied.
    template <class T>
    T* lookup(const T* oldAddress) const
    {
        if (!oldAddress)
            return nullptr;
        auto it = m_map.find(oldAddress);
        return it == m_map.end() ? nullptr : static_cast<T*>(it->second);
    }

private:
    std::unordered_map<const void*, void*> m_map;
};

/// A deep copy whose every internal reference points into the copy; null when memory runs out.
ClassRec* copyClass(const ClassRec* old);

/// A deep copy of an expression; name references point to the copies the map knows.
ExprNode* copyExpression(const ExprNode* expr, AddressMap& map);
/// Copies every expression of the list, in order; false when memory runs out.
bool copyExpressionList(const ExprList& from, ExprList& to, AddressMap& map);
