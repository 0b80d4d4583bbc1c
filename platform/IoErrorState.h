#pragma once

#include <string>

namespace platform {

// The last failure of a serial port or a socket: an errno value and a text of the form
// "<what>: <system text>". Calls that succeed leave it alone unless they clear it.
class IoErrorState {
  public:
    int LastError() const { return lastError_; }
    const std::string& LastErrorText() const { return lastErrorText_; }

  protected:
    // Records the failure; -1 for the caller to return.
    int Fail(int error, const std::string& what);
    // Records the failure with a text of its own; -1.
    int FailWithText(int error, std::string text);
    void ClearError();

  private:
    int lastError_ = 0;
    std::string lastErrorText_;
};

}  // namespace platform
