#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/Messages.h"

namespace drive {

// Windows of the main frame that the drive object refreshes or notifies.
enum class CFramePage { None, MainDialog, BusSettings, ThirdPage, FourthPage, ProgramEditor, Oscilloscope };

// What the drive object asks of the program's main frame. The frame implements it; every call
// comes on the window thread. The defaults do nothing, so a test overrides only what it watches
// and the frame only what it has.
class CQdHost {
  public:
    virtual ~CQdHost() = default;
    virtual void SetFrameTitle(const std::string& /*title*/) {}
    virtual void SetStatusText(int /*pane*/, const std::string& /*text*/) {}
    virtual CFramePage ShownPage() const { return CFramePage::None; }
    // The window of a page, or 0 when it is not open.
    virtual platform::WindowHandle PageWindow(CFramePage /*page*/) const { return 0; }
    virtual void StoreMessageBarPlacement() {}
    virtual void ResetPages() {}
    // The oscilloscope and tuning sheet is open.
    virtual bool ScopeSheetOpen() const { return false; }
    // The main dialog's command-state map: command id -> 1 disabled, 0 enabled (null: none).
    virtual std::map<uint32_t, uint32_t>* CommandStates() { return nullptr; }

    // ---- connect sequence and background polls ----
    // The drive-errors window's refresh timer and the diagnostic-history poll thread stop (and
    // start again) around long drive operations.
    virtual void PauseBackgroundPolls() {}
    virtual void ResumeBackgroundPolls() {}
    // The pages' own refreshes on the node stop (main dialog status groups, permanent-memory
    // dialog, bus page cyclic read, fourth page).
    virtual void StopPageRefresh() {}
    // The shown page starts its status refresh (the bus page by the drive's bus type code).
    virtual void StartPageStatusRefresh(int /*busType*/) {}
    virtual void RefreshMainDialog() {}
    virtual void RefreshStatusBar() {}
    // A second status field is in use: the user pane moves one to the right.
    virtual bool SecondStatusField() const { return false; }

    // ---- frame side, added with the frame's drive object wiring ----
    // The two message numbers the frame gives the drive object for its notices (0: none).
    virtual unsigned FirstMessageNumber() const { return 0; }
    virtual unsigned SecondMessageNumber() const { return 0; }
    // The command-state map changed: the frame applies it to its menus and toolbar.
    virtual void RefreshMenuState() {}

    // ---- host mode and parameter files ----
    virtual std::string FrameTitle() const { return {}; }
    // The frame's tool windows close (before a restart of the connection).
    virtual void CloseToolWindows() {}
};

}  // namespace drive
