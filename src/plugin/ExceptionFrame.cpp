#include "plugin/ExceptionFrame.h"

#include "plugin/PluginState.h"

namespace qvhost {

void miThrowExceptionToHandler(void* /*frame*/, int32_t /*error*/) { throw _miExceptionInfo{0}; }

_miExceptionPushPop::_miExceptionPushPop() {
    qvhft::entry<qvhft::PushExceptionFrame>(gCoreHFT)(nullptr, miThrowExceptionToHandler);
}

_miExceptionPushPop::~_miExceptionPushPop() {
    // A destructor that throws while unwinding ends the process: an error the host raises
    // while popping (into an outer frame of ours) is dropped here instead.
    try {
        qvhft::entry<qvhft::PopExceptionFrame>(gCoreHFT)();
    } catch (...) {
    }
}

}  // namespace qvhost
