#pragma once
// Bounds on a process's resident memory get room under AddressSanitizer: its redzones, shadow memory and
// quarantine of freed blocks (capped by the test command) make a process several times its plain size.
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
    return plainKiB * 3 + 64 * 1024;
#else
    return plainKiB;
#endif
}
