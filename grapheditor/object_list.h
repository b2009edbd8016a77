// An owning doubly linked list of records that carry their own links, so that
// an object found by pointer (through an attachment or a name) is unlinked at once.
#pragma once

#include <cstddef>
#include <memory>

/// The links a record needs to live in an `ObjectList`.
template <class T>
struct ListLinks {
    T* next = nullptr;
    T* prev = nullptr;
};

/// Owns its records; iteration runs from the head to the tail.
template <class T>
class ObjectList {
public:
    ObjectList() = default;
    ~ObjectList() { clear(); }
    ObjectList(const ObjectList&) = delete;
    ObjectList& operator=(const ObjectList&) = delete;
    ObjectList(ObjectList&& other) noexcept { take(other); }
    ObjectList& operator=(ObjectList&& other) noexcept
    {
        if (this != &other) {
            clear();
            take(other);
        }
        return *this;
    }

    T* head() const { return m_head; }
    T* tail() const { return m_tail; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    T* pushFront(std::unique_ptr<T> object)
    {
        T* raw = object.release();
        raw->prev = nullptr;
        raw->next = m_head;
        if (m_head)
            m_head->prev = raw;
        else
            m_tail = raw;
        m_head = raw;
        ++m_size;
        return raw;
    }

    T* pushBack(std::unique_ptr<T> object)
    {
        T* raw = object.release();
        raw->next = nullptr;
        raw->prev = m_tail;
        if (m_tail)
            m_tail->next = raw;
        else
            m_head = raw;
        m_tail = raw;
        ++m_size;
        return raw;
    }

    /// Takes a record of this list out of it and hands it over.
    std::unique_ptr<T> unlink(T* object)
    {
        if (object->prev)
            object->prev->next = object->next;
        else
            m_head = object->next;
        if (object->next)
            object->next->prev = object->prev;
        else
            m_tail = object->prev;
        object->next = object->prev = nullptr;
        --m_size;
        return std::unique_ptr<T>(object);
    }

    /// Whether the record is one of this list's.
    bool contains(const T* object) const
    {
        for (const T* p = m_head; p; p = p->next)
            if (p == object)
                return true;
        return false;
    }

    void clear()
    {
        while (m_head)
            unlink(m_head);
    }

    class Iterator {
    public:
        explicit Iterator(T* at) : m_at(at) {}
        T& operator*() const { return *m_at; }
        T* operator->() const { return m_at; }
        Iterator& operator++()
        {
            m_at = m_at->next;
            return *this;
        }
        bool operator==(const Iterator& other) const = default;

    private:
        T* m_at;
    };
    Iterator begin() const { return Iterator(m_head); }
    Iterator end() const { return Iterator(nullptr); }

private:
    void take(ObjectList& other)
    {
        m_head = other.m_head;
        m_tail = other.m_tail;
        m_size = other.m_size;
        other.m_head = other.m_tail = nullptr;
        other.m_size = 0;
    }

    T* m_head = nullptr;
    T* m_tail = nullptr;
    std::size_t m_size = 0;
};
