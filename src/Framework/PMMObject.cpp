#include "Framework/PMMObject.h"

#include "Framework/PLog.h"

#include <unordered_map>
#include <vector>

namespace {

// The live list and the handle registry. Allocated once and never freed: objects
// still alive at exit stay reachable, and late destructors never meet a dead list.
struct Registry {
    std::list<IPMMObject*> live;
    std::unordered_map<PMMHandle, IPMMObject*> byHandle;
    PMMHandle nextHandle = 1;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// Handles are printed as "%d" in script commands, so they stay positive.
constexpr PMMHandle kLastHandle = 0x7FFFFFFF;

} // namespace

IPMMObject::IPMMObject() {
    Registry& r = TheRegistry();
    if (r.nextHandle <= kLastHandle) {
        m_handle = r.nextHandle++;
        r.byHandle.emplace(m_handle, this);
    }
    m_node = r.live.insert(r.live.end(), this);
    m_listed = true;
}

IPMMObject::~IPMMObject() {
    // The collector has already unlinked the object; this only guards against an
    // object deleted some other way, so the lists never keep a dangling pointer.
    Registry& r = TheRegistry();
    if (m_listed) {
        r.live.erase(m_node);
        m_listed = false;
    }
    if (m_handle) {
        auto it = r.byHandle.find(m_handle);
        if (it != r.byHandle.end() && it->second == this) r.byHandle.erase(it);
    }
}

void IPMMObject::CollectGarbage() {
    Registry& r = TheRegistry();
    std::vector<IPMMObject*> pending;
    for (auto it = r.live.begin(); it != r.live.end();) {
        IPMMObject* object = *it;
        if (object->m_refCount > 0) {
            ++it;
            continue;
        }
        pending.push_back(object);
        object->m_listed = false;
        if (object->m_handle) r.byHandle.erase(object->m_handle);
        it = r.live.erase(it);
    }
    // Destroyed in construction order; what these destructors release waits for the next collection.
    for (IPMMObject* object : pending) delete object;
}

void IPMMObject::DumpLeaks() {
    for (IPMMObject* object : TheRegistry().live) {
        std::string name = object->GetClassName();
        CPLog::Instance().Print(0, "неудаленный объект: класс - %s, размер - %d bytes  refcount - %d", name.c_str(),
                                object->GetSize(), object->GetRefCount());
    }
}

IPMMObject* IPMMObject::FindByHandle(PMMHandle handle) {
    if (handle == 0) return nullptr;
    Registry& r = TheRegistry();
    auto it = r.byHandle.find(handle);
    return it == r.byHandle.end() ? nullptr : it->second;
}

std::size_t IPMMObject::LiveCount() { return TheRegistry().live.size(); }
