// Whether this build runs under AddressSanitizer (gcc and clang spell it differently). Such a
// build is several times slower and keeps freed memory for a while, so the few tests that bound
// time or memory by design check those bounds in the normal build only.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define ZARVEL5_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARVEL5_SANITIZED 1
#endif
#endif
#ifndef ZARVEL5_SANITIZED
#define ZARVEL5_SANITIZED 0
#endif
