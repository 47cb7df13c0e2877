#pragma once
// Bounds that AddressSanitizer's overhead would break get room in the sanitized build: its redzones,
// shadow memory and quarantine of freed blocks (capped by the test command) make a process several
// times its plain size, and its checks make busy code two to three times slower.
#include <QtGlobal>

#if defined(__SANITIZE_ADDRESS__)
#define TESSROOK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSROOK_UNDER_ASAN 1
#endif
#endif

// The bound, in KiB, for a growth that a plain build keeps under `plainKiB`.
constexpr qint64 memoryRoomKiB(qint64 plainKiB) {
#ifdef TESSROOK_UNDER_ASAN
    return plainKiB * 6 + 96 * 1024;
#else
    return plainKiB;
#endif
}

// The time, in ms, for what a plain build does within `plainMs`.
constexpr int timeRoomMs(int plainMs) {
#ifdef TESSROOK_UNDER_ASAN
    return plainMs * 2;
#else
    return plainMs;
#endif
}
