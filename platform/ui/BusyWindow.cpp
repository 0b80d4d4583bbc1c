#include "platform/ui/BusyWindow.h"

#include <thread>
#include <vector>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/toplevel.h>

#include "platform/Prompt.h"
#include "platform/ui/ControlHost.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

constexpr const char* kBusyWindowName = "tunova-busy";

}  // namespace

void RunBusy(wxWindow* parent, const std::string& text, const std::function<void()>& work) {
    // A caption without a close box: nothing but the end of the work closes it.
    wxDialog dialog(parent, wxID_ANY, wxString::FromUTF8(text), wxDefaultPosition, wxDefaultSize, wxCAPTION,
                    kBusyWindowName);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(&dialog, wxID_ANY, wxString::FromUTF8(text)), 0, wxALL, 20);
    dialog.SetSizerAndFit(sizer);
    dialog.CentreOnParent();
    dialog.Bind(wxEVT_CLOSE_WINDOW, [](wxCloseEvent& event) {
        if (event.CanVeto()) event.Veto();
    });
    dialog.Bind(wxEVT_CHAR_HOOK, [](wxKeyEvent&) {});  // no key reaches anything while busy

    std::thread worker([&] {
        work();
        // Queued to the window thread; the modal loop below runs it.
        wxTheApp->CallAfter([&dialog] {
            if (dialog.IsModal()) dialog.EndModal(wxID_OK);
        });
    });
    // The end is queued to this thread, so it runs inside the modal loop even when the work
    // finished before the loop began.
    dialog.ShowModal();
    worker.join();
}

void EndModalDialogs() {
    // Innermost first: a dialog opened from another one ends before its parent.
    std::vector<wxDialog*> open;
    for (wxWindow* window : wxTopLevelWindows)
        if (auto* dialog = dynamic_cast<wxDialog*>(window))
            if (dialog->IsModal() && dialog->GetName() != kBusyWindowName) open.push_back(dialog);
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        // Our own dialogs end through their owner, which hands the caller its Cancel code.
        if (auto* own = dynamic_cast<Dialog*>(FromWx(*it)))
            own->EndDialog(platform::IDCANCEL);
        else
            (*it)->EndModal(wxID_CANCEL);
    }
}

}  // namespace platform::ui
