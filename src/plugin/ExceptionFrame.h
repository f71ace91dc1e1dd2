#pragma once
// Host errors as native exceptions. While an _miExceptionPushPop lives, the host has a frame
// whose handler throws _miExceptionInfo, so a host error raised inside any host call unwinds
// to the routine that opened the scope; leaving the scope, normally or by unwinding, pops the
// frame again.

#include <cstdint>

namespace qvhost {

struct _miExceptionInfo {
    int32_t error;  // always 0: the host's error code is not carried
};

// The handler the host calls for an error raised inside the frame.
[[noreturn]] void miThrowExceptionToHandler(void* frame, int32_t error);

class _miExceptionPushPop {
public:
    _miExceptionPushPop();
    ~_miExceptionPushPop();
    _miExceptionPushPop(const _miExceptionPushPop&) = delete;
    _miExceptionPushPop& operator=(const _miExceptionPushPop&) = delete;
};

}  // namespace qvhost
