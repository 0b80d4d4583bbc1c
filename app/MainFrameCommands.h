#pragma once
// The main frame's menu and toolbar commands: which ones the frame carries out itself and which
// it posts to the main dialog (with their parameter), the confirmations before some of them,
// and the menus and toolbars of each device family. The frame executes what this decides.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Frame.h"

namespace app {

// Command ids of the menus and toolbars.
enum MenuCommand : int {
    ID_RESET_OUTPUT_BAR = 32773,
    ID_HELP_DEVICE = 32782,
    ID_APP_ABOUT = 32783,
    ID_DOWNLOAD_FIRMWARE = 32784,
    ID_PERMANENT_MEMORY = 32785,
    ID_SHOW_ERRORS = 32786,
    ID_NEW_CONNECTION = 32787,
    ID_DRIVE_SETUP = 32790,
    ID_VIEW_OUTPUT = 32799,
    ID_OPTIONS = 32800,
    ID_RUN_STOP_PLC = 32801,
    ID_DRIVE_ENABLE = 32804,
    ID_OBJECT_DICTIONARY = 32805,
    ID_OSCILLOSCOPE = 32806,
    ID_TUNING = 32807,
    ID_TOOLBAR_RELOAD = 32823,
    ID_WEB_SITE = 32832,
    ID_HELP_PROGRAM = 32833,
    ID_CONTEXT_HELP = 32835,
    ID_USER_MOTORS_MANAGE = 32836,
    ID_USER_MOTORS_IMPORT = 32837,
    ID_USER_MOTORS_EXPORT = 32838,
    ID_USER_MOTORS_DELETE = 32839,
    ID_EXPORT_PARAMETERS = 32840,
    ID_IMPORT_PARAMETERS = 32841,
    ID_DOWNLOAD_PARAMETERS = 32842,
    ID_ERASE_PROGRAM = 32843,
    ID_DRIVE_DISABLE = 32844,
    ID_EXPORT_FIRMWARE = 32845,
    ID_HARD_RESET = 32846,
    ID_SOFT_RESET = 32847,
    ID_RESET_DEFAULTS = 32848,
    ID_SUPPLY_SETUP = 32849,
    ID_COMPARE_PARAMETERS = 32850,
    ID_SAVE_CONFIGURATION = 32851,
    ID_LOAD_CONFIGURATION = 32852,
    ID_CREATE_ARCHIVE = 32853,
    ID_INSTALL_ARCHIVE = 32854,
    ID_CHECK_FIRMWARE = 32855,
    ID_RESET_OSC_POSITION = 32859,
    ID_COMM_STATUS = 32866,
    ID_SYSTEM_INFORMATION = 32869,
    ID_XUL_SETUP = 32870,
    ID_XUL_ENABLE = 32871,
    ID_XUL_DISABLE = 32872,
    ID_MODBUS_ADDRESSES = 32873,
    ID_BUS_ADDRESSES = 32874,
    // Closes the frame as its close box does.
    ID_APP_EXIT = 57665,
    // F1: the drive setup sheet's help when it is shown, else the context help.
    ID_HELP = 57670,
    // The program editor's commands (New, Open, Save, Compile, bookmarks, Undo, Cut, Find...).
    ID_EDIT_FIRST = 32775,
};

// What the frame does itself.
enum class FrameAction {
    Post,  // post the route's message to the main dialog
    ResetOutputBar,
    EditorCommand,  // WM_COMMAND with the same id to the program editor
    HelpOnDevice,
    About,
    ShowErrors,
    NewConnection,
    DriveSetup,
    ViewOutput,
    Oscilloscope,
    Tuning,
    ToolbarReload,
    WebSite,
    HelpOnProgram,
    ContextHelp,
    SupplySetup,
    CheckFirmwareUpdates,
    ResetOscPosition,
    CommStatus,
    SystemInformation,
    XulSetup,
};

// A condition checked before the command runs.
enum class Guard {
    None,
    Confirm,         // close the oscilloscope / drive setup first (asked)
    Programmable,    // "This is not a programmable drive!"
    NoOtherWindows,  // "Please close other windows before editing user motors"
    HasArchive,      // silently nothing without an archive in the description
};

struct CommandRoute {
    FrameAction action = FrameAction::Post;
    unsigned message = 0;  // for Post
    uintptr_t wParam = 0;
    Guard guard = Guard::None;
};

// The route of a command id; nothing for ids the frame does not know.
std::optional<CommandRoute> RouteOfCommand(int id);

// The program editor's command ids.
bool IsEditorCommand(int id);

// What the frame knows when it runs a command; the frame implements it, tests fake it.
class CommandContext {
  public:
    virtual ~CommandContext() = default;
    virtual bool IsOscilloscopeVisible() const = 0;
    virtual bool IsDriveSetupVisible() const = 0;
    virtual bool IsDriveSetupOrToolWindowOpen() const = 0;
    virtual bool IsProgrammable() const = 0;
    virtual bool HasArchive() const = 0;
    virtual int Ask(const std::string& text, const std::string& caption, unsigned flags) = 0;
    virtual void PostToMainDialog(unsigned message, uintptr_t wParam) = 0;
    virtual void RunFrameAction(FrameAction action, int id) = 0;
};

// Runs one command: checks its guard, then posts or hands it to the frame. False when the id
// is unknown or the guard dropped it.
bool ExecuteCommand(int id, CommandContext& context);

// Device families of the menus and toolbars.
enum class DeviceFamily { Drive, Xul, Supply, Kwz };

// The family of the connected device as the drive object tells it: family code 10 is the Xul
// family, then the supply-unit and Kwz flags; anything else is a servo drive.
DeviceFamily DeviceFamilyOf(int familyCode, bool supplyUnit, bool kwz);

// The command-state map's bits: what the menus and the commands make of them.
enum : uint32_t { kCommandDisabled = 1, kCommandChecked = 2, kCommandIndeterminate = 4 };
// A command the map marks disabled does nothing, whichever way it comes (menu, tool, key).
bool IsCommandDisabled(const std::map<uint32_t, uint32_t>* states, int id);

// The lock key panes of the status bar: caps, num and scroll lock.
enum class LockKey { Caps, Num, Scroll };
// The pane's text: "CAP", "NUM" or "SCRL" while the key is on, empty while it is off.
std::string LockIndicatorText(LockKey key, bool on);

// Resource ids of the menu and toolbar of a family.
int MenuResourceOf(DeviceFamily family);
int ToolbarResourceOf(DeviceFamily family, bool programmable);

// The device menu (with "&Program" and "&Edit" only for programmable devices) and its "&Help".
std::vector<platform::ui::MenuSpec> DeviceMenu(DeviceFamily family, bool programmable);
std::vector<platform::ui::ToolSpec> DeviceToolbar(DeviceFamily family, bool programmable);

// Every command id a menu or toolbar holds, in order (tests, state refresh).
std::vector<int> CommandIdsOf(const std::vector<platform::ui::MenuSpec>& menus);

}  // namespace app
