#pragma once
// The system's OpenGL and video drivers keep allocations for the life of the process (and
// unload without symbols), which the leak checker of sanitizer builds would report as ours.
// Calls into those drivers run inside a ScopedDriverAllocations so only our own leaks count.

#if defined(__SANITIZE_ADDRESS__)
#define KX_HAS_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX_HAS_LSAN 1
#endif
#endif

#ifdef KX_HAS_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace Platform {

class ScopedDriverAllocations {
public:
#ifdef KX_HAS_LSAN
    ScopedDriverAllocations() { __lsan_disable(); }
    ~ScopedDriverAllocations() { __lsan_enable(); }
#else
    // User-provided, so a guard that does nothing here is still not an "unused variable".
    ScopedDriverAllocations() {}
    ~ScopedDriverAllocations() {}
#endif
    ScopedDriverAllocations(const ScopedDriverAllocations&) = delete;
    ScopedDriverAllocations& operator=(const ScopedDriverAllocations&) = delete;
};

} // namespace Platform
