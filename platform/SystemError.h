#pragma once

#include <string>

namespace platform {

// errno of the calling thread.
int LastErrorCode();
void SetLastErrorCode(int code);
// The system's text for an errno value; empty for codes without a text.
std::string SystemErrorText(int code);

}  // namespace platform
