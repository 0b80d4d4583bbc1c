#include "platform/IoErrorState.h"

#include <cstring>
#include <utility>

namespace platform {

int IoErrorState::Fail(int error, const std::string& what) {
    char buffer[256];
    // The GNU variant returns a pointer that may or may not be the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return FailWithText(error, what + ": " + (text ? text : ""));
}

int IoErrorState::FailWithText(int error, std::string text) {
    lastError_ = error;
    lastErrorText_ = std::move(text);
    return -1;
}

void IoErrorState::ClearError() {
    lastError_ = 0;
    lastErrorText_.clear();
}

}  // namespace platform
