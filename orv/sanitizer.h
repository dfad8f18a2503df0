// Whether this build runs under AddressSanitizer. Its converters then reserve
// terabytes of shadow memory and read /proc as they start, which the limits
// and the sandbox of a child must allow.
#ifndef ORV_SANITIZER_H_
#define ORV_SANITIZER_H_

namespace orv {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

}  // namespace orv

#endif  // ORV_SANITIZER_H_
