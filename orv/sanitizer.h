// Whether this build runs under AddressSanitizer or ThreadSanitizer. Its
// converters then reserve terabytes of shadow memory and read /proc as they
// start, which the limits and the sandbox of a child must allow.
#ifndef ORV_SANITIZER_H_
#define ORV_SANITIZER_H_

namespace orv {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerShadow = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitizerShadow = true;
#else
constexpr bool kSanitizerShadow = false;
#endif
#else
constexpr bool kSanitizerShadow = false;
#endif

}  // namespace orv

#endif  // ORV_SANITIZER_H_
