#pragma once
// Reference-counted engine objects, their once-per-pass collector and the
// handle registry through which scripts name objects.
//
// An object is born with count 0 and lives in one process-wide list in order of
// construction. Release never deletes: only IPMMObject::CollectGarbage does, and
// it deletes every listed object whose count is 0 or below. So an object survives
// the next collection only if a CPSmartPtr holds it by then.
//
// Every object also gets a script handle at construction: a positive 32-bit
// number, never reused within a run, that scripts see in place of an address
// ("%d" in commands). A handle of a collected object, or of an object of another
// kind, resolves to nothing.

#include <cstdint>
#include <list>
#include <string>
#include <type_traits>
#include <utility>

using PMMHandle = std::uint32_t;

class IPMMObject {
public:
    IPMMObject();
    // A copy is a new object: count 0, its own handle, at the end of the live list.
    IPMMObject(const IPMMObject&) : IPMMObject() {}
    // Assigning copies no identity: count, handle and list place stay.
    IPMMObject& operator=(const IPMMObject&) { return *this; }

    // The six operations every engine object answers, in this order.
    virtual ~IPMMObject();
    virtual void AddRef() { ++m_refCount; }
    virtual void Release() { --m_refCount; }
    virtual int GetSize() const = 0;
    virtual std::string GetClassName() const = 0;
    virtual int GetRefCount() const { return m_refCount; }

    // The script handle (never 0 for a constructed object).
    PMMHandle GetHandle() const { return m_handle; }

    // One collection: deletes, in construction order, every live object whose
    // count is 0 or below. Objects released by those destructors wait for the next one.
    static void CollectGarbage();
    // One log line per live object, in construction order.
    static void DumpLeaks();

    // The live object with this handle, or null (0, unknown, or already collected).
    static IPMMObject* FindByHandle(PMMHandle handle);
    // The live object with this handle if it is a T, else null.
    template <class T>
    static T* FindByHandle(PMMHandle handle) {
        static_assert(std::is_base_of_v<IPMMObject, T>);
        return dynamic_cast<T*>(FindByHandle(handle));
    }

    // Number of objects in the live list (for tests and diagnostics).
    static std::size_t LiveCount();

private:
    int m_refCount = 0;
    PMMHandle m_handle = 0;
    bool m_listed = false;
    std::list<IPMMObject*>::iterator m_node;
};

// The one-pointer handle that owns one reference of an IPMMObject.
template <class T>
class CPSmartPtr {
public:
    CPSmartPtr() = default;
    CPSmartPtr(std::nullptr_t) {}
    CPSmartPtr(T* p) : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    CPSmartPtr(const CPSmartPtr& other) : m_p(other.m_p) {
        if (m_p) m_p->AddRef();
    }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    CPSmartPtr(const CPSmartPtr<U>& other) : m_p(other.Get()) {
        if (m_p) m_p->AddRef();
    }
    CPSmartPtr(CPSmartPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~CPSmartPtr() {
        if (m_p) m_p->Release();
    }

    // Release the old object first, then take the new one: Release never deletes,
    // so assigning a handle its own object is safe.
    CPSmartPtr& operator=(T* p) {
        if (m_p) m_p->Release();
        m_p = p;
        if (m_p) m_p->AddRef();
        return *this;
    }
    CPSmartPtr& operator=(const CPSmartPtr& other) { return *this = other.m_p; }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    CPSmartPtr& operator=(const CPSmartPtr<U>& other) {
        return *this = static_cast<T*>(other.Get());
    }
    CPSmartPtr& operator=(CPSmartPtr&& other) noexcept {
        if (this != &other) {
            if (m_p) m_p->Release();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }
    CPSmartPtr& operator=(std::nullptr_t) { return *this = static_cast<T*>(nullptr); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    friend bool operator==(const CPSmartPtr& a, const CPSmartPtr& b) { return a.m_p == b.m_p; }
    friend bool operator==(const CPSmartPtr& a, const T* b) { return a.m_p == b; }
    friend bool operator==(const CPSmartPtr& a, std::nullptr_t) { return a.m_p == nullptr; }

private:
    T* m_p = nullptr;
};

// Cast between handles of related classes; empty when the object is not a T.
template <class T, class U>
CPSmartPtr<T> DynamicPtrCast(const CPSmartPtr<U>& p) {
    return CPSmartPtr<T>(dynamic_cast<T*>(p.Get()));
}
