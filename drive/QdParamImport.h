#pragma once

// What a parameter file import over the drive object shows beyond message boxes: the progress
// window, the question about an incomplete file, and the drive exchanges that may take seconds.
// The window layer supplies it; without one no progress is shown, the question goes to the
// prompt service and the exchanges run where they are called.

#include <functional>
#include <string>
#include <vector>

#include "drive/ParamFileImport.h"

namespace drive {

class CParamImportWindows {
  public:
    virtual ~CParamImportWindows() = default;
    virtual void ProgressOpen(const std::string& caption, const std::string& text) = 0;
    virtual void ProgressText(const std::string& text) = 0;
    virtual void ProgressRange(int count) = 0;
    virtual void ProgressPos(int position) = 0;
    virtual void ProgressClose() = 0;
    // The four-answer box (6 yes, 7 yes and remembered, 8 no, 9 no and remembered) with the
    // missing names one per line.
    virtual int AskMissing(const std::string& text, const std::string& caption,
                           const std::vector<std::string>& missing) = 0;
    // A block of writes, a system command or a named write: the work must not touch windows.
    virtual void RunLong(const std::function<void()>& work) { work(); }
};

// The list of initialisation values a download writes into a drive without a system manager:
// the drive description's "DRIVE_SETUP" list "InitValues", one "ELEMENT" per value with "Name",
// "Value" and "Flag" (numbers decimal or "0x" hexadecimal; a missing flag is 0).
std::vector<ParamInitValue> ReadInitValues(const foundation::CXmlNode* driveData);

}  // namespace drive
