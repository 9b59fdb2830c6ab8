#pragma once
// Happens-before edges across the Rust bridge, for ThreadSanitizer.
//
// A callback context is created on the caller's thread and used on zenoh's
// threads; zenoh's own synchronisation (Rust atomics, futexes) is invisible to
// TSan, which would otherwise report the handoff as a race. Publish() before
// giving an object to the bridge, Receive() when the bridge hands it back on
// another thread. Without TSan both compile to nothing.
#if defined(__SANITIZE_THREAD__)
#define VELMOR_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELMOR_TSAN 1
#endif
#endif

#ifdef VELMOR_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace velmor::zenoh::detail {

inline void Publish([[maybe_unused]] void* object) noexcept {
#ifdef VELMOR_TSAN
  __tsan_release(object);
#endif
}

inline void Receive([[maybe_unused]] void* object) noexcept {
#ifdef VELMOR_TSAN
  __tsan_acquire(object);
#endif
}

}  // namespace velmor::zenoh::detail
