#pragma once

// KOVA_UI_ASAN is 1 in AddressSanitizer builds of either compiler.

#if defined(__SANITIZE_ADDRESS__)
#define KOVA_UI_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KOVA_UI_ASAN 1
#endif
#endif
#ifndef KOVA_UI_ASAN
#define KOVA_UI_ASAN 0
#endif
