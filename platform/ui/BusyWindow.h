#pragma once
// Long waits of the window thread (drive commands that take seconds): the work runs on a worker
// thread while a modal busy window with a text keeps the program painting and takes no input.
// The caller's code stays synchronous: RunBusy returns when the work is done.

#include <functional>
#include <string>

class wxWindow;

namespace platform::ui {

// GUI thread only. The work must not touch windows; it may post to them.
void RunBusy(wxWindow* parent, const std::string& text, const std::function<void()>& work);

// GUI thread only. Ends every open modal dialog with Cancel, so that a code waiting on one goes on
// (the program is asked to close). Busy windows are left to end with their work.
void EndModalDialogs();

}  // namespace platform::ui
