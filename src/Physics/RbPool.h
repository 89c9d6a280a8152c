#pragma once
// Fixed pools and growable arrays of the engine. Both take their memory from the
// simulator's allocator; a pool never grows, and taking from it is a pop of a
// free list (last returned, first taken).

#include "Physics/RbTypes.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

// T needs the members `T* poolNext` and `bool inUse`.
template <class T>
class RbPool {
public:
    RbPool() = default;
    RbPool(const RbPool&) = delete;
    RbPool& operator=(const RbPool&) = delete;
    ~RbPool() { Release(); }

    bool Init(RbAllocator* allocator, int count) {
        Release();
        m_allocator = allocator;
        if (count < 0) count = 0;
        if (count > 0) {
            void* block = allocator->Alloc(sizeof(T) * static_cast<size_t>(count), 0);
            if (!block) return false;
            m_items = static_cast<T*>(block);
            for (int i = 0; i < count; ++i) new (&m_items[i]) T();
        }
        m_count = count;
        // Linked in array order: the first take gives element 0.
        m_free = nullptr;
        for (int i = count - 1; i >= 0; --i) {
            m_items[i].poolNext = m_free;
            m_items[i].inUse = false;
            m_free = &m_items[i];
        }
        m_used = 0;
        return true;
    }

    void Release() {
        if (m_items) {
            for (int i = 0; i < m_count; ++i) m_items[i].~T();
            m_allocator->Free(m_items);
        }
        m_items = nullptr;
        m_free = nullptr;
        m_count = 0;
        m_used = 0;
    }

    T* Take() {
        T* item = m_free;
        if (!item) return nullptr;
        m_free = item->poolNext;
        item->poolNext = nullptr;
        item->inUse = true;
        ++m_used;
        return item;
    }

    // Take an element reset to a default-constructed value, still marked in use.
    T* TakeFresh() {
        T* item = Take();
        if (!item) return nullptr;
        *item = T{};
        item->inUse = true;
        return item;
    }

    void Give(T* item) {
        item->inUse = false;
        item->poolNext = m_free;
        m_free = item;
        --m_used;
    }

    // Index of an element of this pool, or -1 for any other address (the pointer
    // itself is never dereferenced here).
    template <class P>
    int IndexOfAddress(const P* pointer) const {
        if (!m_items || !pointer) return -1;
        uintptr_t address = reinterpret_cast<uintptr_t>(pointer);
        uintptr_t base = reinterpret_cast<uintptr_t>(static_cast<const P*>(&m_items[0]));
        if (address < base) return -1;
        uintptr_t offset = address - base;
        if (offset % sizeof(T) != 0) return -1;
        uintptr_t index = offset / sizeof(T);
        if (index >= static_cast<uintptr_t>(m_count)) return -1;
        return static_cast<int>(index);
    }

    T* At(int index) { return &m_items[index]; }
    const T* At(int index) const { return &m_items[index]; }
    int IndexOf(const T* item) const { return static_cast<int>(item - m_items); }
    int Capacity() const { return m_count; }
    int Used() const { return m_used; }
    int Free() const { return m_count - m_used; }

private:
    RbAllocator* m_allocator = nullptr;
    T* m_items = nullptr;
    T* m_free = nullptr;
    int m_count = 0;
    int m_used = 0;
};

// Intrusive doubly linked list kept as first and last pointers; Next and Prev name
// the link members. Counts and back-pointers to the list's owner stay with the caller.
template <class T, T* T::*Next, T* T::*Prev>
void RbListAppend(T*& first, T*& last, T* item) {
    item->*Next = nullptr;
    item->*Prev = last;
    if (last)
        last->*Next = item;
    else
        first = item;
    last = item;
}

template <class T, T* T::*Next, T* T::*Prev>
void RbListUnlink(T*& first, T*& last, T* item) {
    if (item->*Prev)
        (item->*Prev)->*Next = item->*Next;
    else
        first = item->*Next;
    if (item->*Next)
        (item->*Next)->*Prev = item->*Prev;
    else
        last = item->*Prev;
    item->*Next = item->*Prev = nullptr;
}

// The same for a list kept by its first element alone, added to at the front.
template <class T, T* T::*Next, T* T::*Prev>
void RbListPushFront(T*& first, T* item) {
    item->*Prev = nullptr;
    item->*Next = first;
    if (first) first->*Prev = item;
    first = item;
}

template <class T, T* T::*Next, T* T::*Prev>
void RbListUnlink(T*& first, T* item) {
    if (item->*Prev)
        (item->*Prev)->*Next = item->*Next;
    else
        first = item->*Next;
    if (item->*Next) (item->*Next)->*Prev = item->*Prev;
    item->*Next = item->*Prev = nullptr;
}

// Growable array of trivially copyable values. growBy > 0 adds that many slots,
// -1 doubles. A failed growth leaves the array as it was and Push answers false.
template <class T>
class RbArray {
    static_assert(std::is_trivially_copyable_v<T>, "RbArray holds plain records");

public:
    RbArray() = default;
    RbArray(const RbArray&) = delete;
    RbArray& operator=(const RbArray&) = delete;
    ~RbArray() { Release(); }

    bool Init(RbAllocator* allocator, int capacity, int growBy) {
        Release();
        m_allocator = allocator;
        m_growBy = growBy;
        return Reserve(capacity);
    }
    void Release() {
        if (m_data) m_allocator->Free(m_data);
        m_data = nullptr;
        m_size = 0;
        m_capacity = 0;
    }
    bool Reserve(int capacity) {
        if (capacity <= m_capacity) return true;
        void* block = m_allocator->Alloc(sizeof(T) * static_cast<size_t>(capacity), 0);
        if (!block) return false;
        if (m_data) {
            if (m_size > 0) std::memcpy(block, m_data, sizeof(T) * static_cast<size_t>(m_size));
            m_allocator->Free(m_data);
        }
        m_data = static_cast<T*>(block);
        m_capacity = capacity;
        return true;
    }
    bool Push(const T& value) {
        if (m_size == m_capacity) {
            int grow = m_growBy > 0 ? m_growBy : (m_growBy == -1 ? (m_capacity > 0 ? m_capacity : 1) : 0);
            if (grow <= 0 || !Reserve(m_capacity + grow)) return false;
        }
        m_data[m_size++] = value;
        return true;
    }
    void EraseAt(int index) {
        if (index < 0 || index >= m_size) return;
        for (int i = index + 1; i < m_size; ++i) m_data[i - 1] = m_data[i];
        --m_size;
    }
    void Clear() { m_size = 0; }
    int Size() const { return m_size; }
    int Capacity() const { return m_capacity; }
    T& operator[](int i) { return m_data[i]; }
    const T& operator[](int i) const { return m_data[i]; }
    T* Data() { return m_data; }

private:
    RbAllocator* m_allocator = nullptr;
    T* m_data = nullptr;
    int m_size = 0;
    int m_capacity = 0;
    int m_growBy = 0;
};
