#pragma once
// What the main dialog's status panel shows, decided without its window: the family layout, the
// error definitions and their counts, the LEDs, the analog input views and the show variables.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace app {

// Control ids of the main dialog.
enum : int {
    IDC_MAIN_ENABLE_BUTTON = 671,
    IDC_MAIN_SHOW_ERRORS = 858,
    IDC_MAIN_FAULT_LED = 852,
    IDC_MAIN_WARNING_LED = 1426,
    IDC_MAIN_BRAKE_LED = 1447,
    IDC_MAIN_ENABLE_LED = 1433,
    IDC_MAIN_SUPPLY_PICTURE = 1134,
    IDC_MAIN_XUL_PICTURE = 1139,
    IDC_MAIN_IDENTITY_FILE = 1132,
    IDC_MAIN_IDENTITY = 601,
    IDC_MAIN_CONNECTED_TO = 1977,
    IDC_MAIN_ERRORS_GROUP = 1533,
    IDC_MAIN_WARNING_LABEL = 1697,
    IDC_MAIN_FAULT_LABEL = 1698,
    IDC_MAIN_HISTORY = 1317,
    IDC_MAIN_ERRORS_CHECK = 1138,
    IDC_MAIN_LOOP_LABEL = 1532,
    IDC_MAIN_LOOP_VALUE = 1425,
    IDC_MAIN_IO_GROUP = 1346,
    IDC_MAIN_DIGITAL_OUTPUT = 737,
    IDC_MAIN_DIGITAL_INPUT = 755,
    IDC_MAIN_ENABLE_LABEL = 1528,
    IDC_MAIN_BRAKE_LABEL = 1202,
    IDC_MAIN_BRAKE_BUTTON = 1203,
    IDC_MAIN_STATUS_GROUP = 1976,
    IDC_MAIN_POSITION_LABEL = 1978,
    IDC_MAIN_POSITION = 522,
    IDC_MAIN_POSITION_UNIT = 1031,
    IDC_MAIN_SPEED_LABEL = 1979,
    IDC_MAIN_SPEED = 521,
    IDC_MAIN_SPEED_UNIT = 1032,
    IDC_MAIN_STATE_LABEL = 1980,
    IDC_MAIN_STATE = 1424,
    IDC_MAIN_PLC_LABEL = 1981,
    IDC_MAIN_PLC = 1434,
    // Supply-unit rows: label and value.
    IDC_SUPPLY_HVDC_LABEL = 1987,
    IDC_SUPPLY_HVDC = 1982,
    IDC_SUPPLY_AVG_LABEL = 1988,
    IDC_SUPPLY_AVG = 1983,
    IDC_SUPPLY_RMS_LABEL = 1989,
    IDC_SUPPLY_RMS = 1984,
    IDC_SUPPLY_BRAKE_LABEL = 1990,
    IDC_SUPPLY_BRAKE = 1985,
    IDC_SUPPLY_AVG1_LABEL = 2004,
    IDC_SUPPLY_AVG1 = 2005,
    IDC_SUPPLY_RMS1_LABEL = 2007,
    IDC_SUPPLY_RMS1 = 2008,
    IDC_SUPPLY_AVG2_LABEL = 1998,
    IDC_SUPPLY_AVG2 = 1999,
    IDC_SUPPLY_RMS2_LABEL = 2001,
    IDC_SUPPLY_RMS2 = 2002,
    IDC_SUPPLY_LOCK_LABEL = 1136,
    IDC_SUPPLY_LOCK = 1135,
    IDC_SUPPLY_VAC_LABEL = 1991,
    IDC_SUPPLY_VAC = 1986,
    IDC_SUPPLY_STATUS_LABEL = 1992,
    IDC_SUPPLY_STATUS = 512,
    IDC_SUPPLY_ERROR_LABEL = 1993,
    IDC_SUPPLY_ERROR = 513,
    // Units of the supply rows, the show-variable and analog groups, the output labels.
    IDC_SUPPLY_UNIT_FIRST = 2240,
    IDC_MAIN_SHOW_GROUP = 2260,
    IDC_MAIN_ANALOG_GROUP = 2261,
    IDC_MAIN_OUT_LABEL_FIRST = 2270,
};
constexpr std::array<int, 16> kInputLedIds = {741, 738, 739, 742, 744, 740, 735, 761,
                                              760, 759, 758, 757, 756, 743, 767, 770};
constexpr std::array<int, 16> kInputLabelIds = {778, 779, 780, 781, 782, 783, 784, 785,
                                                786, 787, 788, 789, 790, 791, 792, 814};
constexpr std::array<int, 16> kOutputLedIds = {1428, 1430, 1431, 1432, 1435, 1436, 1437, 1438,
                                               1439, 1440, 1441, 1442, 1443, 1444, 1445, 1446};
constexpr std::array<int, 16> kOutputButtonIds = {733, 745, 746, 747, 749, 734, 751, 752,
                                                  762, 736, 763, 764, 765, 766, 768, 769};
constexpr std::array<int, 4> kShowComboIds = {840, 841, 597, 598};
constexpr std::array<int, 4> kShowValueIds = {836, 837, 838, 839};
constexpr std::array<int, 4> kShowUnitIds = {885, 886, 887, 888};
constexpr std::array<int, 4> kAnalogEditIds = {753, 754, 801, 803};
constexpr std::array<int, 4> kAnalogBarIds = {748, 844, 796, 797};
constexpr std::array<int, 4> kAnalogTitleIds = {831, 793, 804, 806};
constexpr std::array<int, 4> kAnalogUnitIds = {1033, 1034, 1035, 1036};
// Supply rows in template order: label, value, unit text.
struct SupplyRow {
    int label, value;
    const char* caption;
    const char* unit;
    bool secondChannel;  // the "ch1"/"ch2" rows
};
constexpr std::array<SupplyRow, 12> kSupplyRows = {{
    {IDC_SUPPLY_HVDC_LABEL, IDC_SUPPLY_HVDC, "HVDC Output voltage:", "V", false},
    {IDC_SUPPLY_AVG_LABEL, IDC_SUPPLY_AVG, "AVG current:", "A", false},
    {IDC_SUPPLY_RMS_LABEL, IDC_SUPPLY_RMS, "RMS current:", "A", false},
    {IDC_SUPPLY_BRAKE_LABEL, IDC_SUPPLY_BRAKE, "Brake duty cycle:", "%", false},
    {IDC_SUPPLY_AVG1_LABEL, IDC_SUPPLY_AVG1, "AVG current ch1:", "A", true},
    {IDC_SUPPLY_RMS1_LABEL, IDC_SUPPLY_RMS1, "RMS current ch1:", "A", true},
    {IDC_SUPPLY_AVG2_LABEL, IDC_SUPPLY_AVG2, "AVG current ch2:", "A", true},
    {IDC_SUPPLY_RMS2_LABEL, IDC_SUPPLY_RMS2, "RMS current ch2:", "A", true},
    {IDC_SUPPLY_LOCK_LABEL, IDC_SUPPLY_LOCK, "Fault lock time:", "s", false},
    {IDC_SUPPLY_VAC_LABEL, IDC_SUPPLY_VAC, "VAC line:", "", false},
    {IDC_SUPPLY_STATUS_LABEL, IDC_SUPPLY_STATUS, "Status:", "", false},
    {IDC_SUPPLY_ERROR_LABEL, IDC_SUPPLY_ERROR, "Last error:", "", false},
}};

enum class DriveFamily { Servo, Xul, Supply, Kwz };
constexpr int kXulFamilyCode = 10;
DriveFamily FamilyOf(bool supplyUnit, bool kwz, int familyCode);

// Group cycles of the panel.
constexpr int kSlowGroupMs = 997;
constexpr int kFastGroupMs = 639;
// Timers of the panel and their periods.
enum : unsigned { kTimerFast = 1234, kTimerStatus = 1235, kTimerIdentity = 1237 };
constexpr unsigned kFastPeriodMs = 300, kStatusPeriodMs = 400, kIdentityPeriodMs = 10000;

// A cell as the panel reads it: its read status (0 valid) and value.
struct CellView {
    uint8_t status = 3;
    uint32_t value = 0;
    bool Valid() const { return status == 0; }
};

// ---- error definitions --------------------------------------------------------------------------
struct ErrorDefinition {
    std::string address;
    uint32_t mask = 0;
    uint32_t value = 0;
    bool fault = false;
    bool retentive = false;
};
// The entries of an ERRORLIST node.
std::vector<ErrorDefinition> ReadErrorDefinitions(const foundation::CXmlNode& errorList);
// From the description's ERRORLIST, else from the built-in list text; none when neither parses.
std::vector<ErrorDefinition> LoadErrorDefinitions(const foundation::CXmlNode* driveData,
                                                  const std::string& builtInList);

// ---- LEDs ---------------------------------------------------------------------------------------
enum LedSlot : int {
    kLedOff = 0,
    kLedGreen = 1,
    kLedRed = 2,
    kLedOrange = 3,
    kLedPale = 4,
    kLedBright = 5,
    kLedUnknown = 6
};
// Unknown while either word is unreadable, on (red/orange) while either is not 0, else off.
int ErrorLed(const CellView& dynamicWord, const CellView& retentiveWord, int onSlot);

// The four error words by role.
enum ErrorWord : int { kWDynamic = 0, kWRetentive = 1, kFDynamic = 2, kFRetentive = 3 };
struct ErrorCounts {
    int dynamicWarnings = 0, retentiveWarnings = 0, dynamicFaults = 0, retentiveFaults = 0;
};
// Each entry whose (word AND mask) equals its value counts by its flags; the word is found by the
// entry's address among the four names; an unreadable word counts nothing.
ErrorCounts CountErrors(const std::vector<ErrorDefinition>& definitions,
                        const std::array<std::string, 4>& names, const std::array<CellView, 4>& words);
std::string WarningLabel(const ErrorCounts& counts);
std::string FaultLabel(const ErrorCounts& counts);

// Digital I/O: point i is bit 16 + i.
int InputLed(const CellView& inputs, int point, uint32_t disabledMask);
std::optional<int> OutputLed(const CellView& outputs, int point);
uint32_t ToggledOutputs(uint32_t outputs, int point);

// ---- analog input views -------------------------------------------------------------------------
struct AnalogScaling {
    std::string scaleType;  // "M", "D" or any other text for the limits form
    double scale = 1.0;
    int32_t rawMin = 0, rawMax = 0;
    std::string minText;    // display minimum of the limits form
    double displayMax = 0;  // display maximum of the limits form
};
struct AnalogView {
    std::string variable;
    int32_t rawMin = 0, rawMax = 0;
    double factor = 1.0;
    double displayMin = 0, displayMax = 0;
    int decimals = 0;
    uint32_t size = 4;
    bool isSigned = false;
    bool writable = false;
    // A scaling that divides by zero or gives no decimals cannot be shown nor written.
    bool valid = false;
    int hold = 0;
};
AnalogView BuildAnalogView(const std::string& variable, const AnalogScaling& scaling);
// The raw value taken by the view's size and sign.
int64_t AnalogRaw(const AnalogView& view, uint32_t cellValue);
std::string FormatAnalogValue(const AnalogView& view, uint32_t cellValue);
// The raw value for a typed display value: rounded half away from zero, clamped to the raw
// limits; none for a view that can't be written or a text that is no number.
std::optional<int32_t> AnalogRawFromText(const AnalogView& view, const std::string& text);

// ---- show variables -----------------------------------------------------------------------------
// Names whose cell the panel already reads for a family.
std::set<std::string> PanelCellNames(DriveFamily family, bool twoChannels, const std::string& driveState,
                                     const std::string& velocity, const std::string& inputs);
// The four combos' names: what leaves the fast group when combo k changes to another name.
struct ShowVariableSlots {
    std::array<std::string, 4> names;
    // True when the previous name of combo k is shown by no other combo.
    bool LastUser(size_t k) const;
};

// ---- brake row ----------------------------------------------------------------------------------
enum class BrakeAction { None, Remove, Add };
// BrakeType 0 takes BrakeStatus out of the slow group, any other value puts it in.
BrakeAction BrakeGroupAction(bool brushless, const CellView& brakeType, bool brakeInGroup);
int BrakeLed(const CellView& brakeStatus);

// ---- family layout ------------------------------------------------------------------------------
struct PanelLayout {
    std::map<int, bool> shown;
    std::map<int, std::string> captions;
};
PanelLayout FamilyLayout(DriveFamily family, bool twoChannels, const std::string& loopCaption);

// ---- first read ---------------------------------------------------------------------------------
// Result slots start at this code, so that a read the group never ran is not taken as done.
constexpr int32_t kReadNotExecuted = -0x7FFF0001;
// The cell status from the group's execute code and the read's own code.
uint8_t FirstReadStatus(int executeCode, int32_t readCode);

// ---- start-up screen questions -------------------------------------------------------------------
// Remembered answers: 0 none, 1 yes (go on), 2 no (close the program).
enum RememberedAnswer : uint32_t { kNotRemembered = 0, kRememberedYes = 1, kRememberedNo = 2 };
enum class ScreenQuestion { LargeFonts, SmallScreen };
constexpr const char* kLargeFontsQuestion =
    "Use of large fonts detected; the display of the window may be done not correctly. Continue?";
constexpr const char* kSmallScreenQuestion =
    "Use of less 800 screen pixels detected; the display of the window may be done not correctly. Continue?";
// Large fonts are a content scale above 1 (a scaled display), small screens narrower than 800
// pixels; a remembered answer is not asked again.
struct ScreenCheck {
    std::vector<ScreenQuestion> ask;
    bool closeAtOnce = false;  // a remembered "no" applies
};
ScreenCheck CheckScreen(double contentScale, int screenWidth, uint32_t largeFonts, uint32_t smallScreen);

// Texts of the panel.
std::string PlcStateText(const CellView& cell);
std::string SupplyTenths(const CellView& cell);  // "%.01f" of value x 0.1
std::string FaultLockSeconds(const CellView& cell);

}  // namespace app
