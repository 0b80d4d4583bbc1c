#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "foundation/Identity.h"

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace drive {

// The last connection as the settings files keep it ("CONNECTION"); its own name, so that it is
// never taken for the connection window's record, which the same folder defines.
struct CConnectionSettings {
    std::string DriveDescription;
    int32_t Hw = 0;
    int32_t Sw = 0;
    int32_t SwVer = 0;
    int32_t Beta = 0;
    foundation::CIdentity pver;
    std::string ParamFileName;
    bool UserParamFileName = false;
    std::string ChannelName = "COM1";
    int32_t PcBaudRate = 57600;
    int16_t PcTimeOut = 1000;
    uint8_t FromNode = 1;
    uint8_t ToNode = 1;
    uint8_t MaxNodesToSearch = 1;
    bool NotifyWrongXml = true;
    uint32_t BridgeIPAddress = 0;
    int16_t BridgeSubnet = 2;
    int16_t BridgeSubnetId = 0;
    int16_t BridgeNodeId = 1;
    uint32_t BcIPAddress = 0;
    uint8_t BcSubnet = 2;
    uint8_t BcSubnetId = 1;
    int16_t BcNodeId = 1001;
    int32_t BcTimeout = 2000;
    std::array<uint8_t, 6> EthAmsNetId{};

    // The members a new session starts from; the others keep their values.
    void SetDefaults();
    // Attributes of the "CONNECTION" element.
    void LoadSettings(const foundation::CXmlNode& node);
    void SaveSettings(foundation::CXmlNode& node) const;
};

// The user's working choices kept by the drive object and stored in the settings files.
struct CDriveSettings {
    // DISPLAY_MESSAGES
    int32_t DontDisplayConnect = 0;
    int32_t DontDisplayPermanent = 0;
    int32_t DontDisplayStimulus = 0;
    int32_t DontDisplayAutotune = 0;
    int32_t DontDisplayExtAutotune = 0;
    int32_t DontDisplayFwParameters = 0;
    bool ProgramAskSavePermanentMemory = true;
    bool ProgramSavePermanentMemory = true;
    bool ParamAskSavePermanentMemory = true;
    bool ParamSavePermanentMemory = true;
    bool ParamButtonDontAskConfirmSaveAllParam = false;
    int32_t DontAskLargeFonts = 0;
    int32_t DontAskScreenLess = 0;
    bool DontAskSafety = false;
    bool SafetySafePlc = true;

    // DATA_EXPORT
    std::string ExportCvsDecimalSymbol = "?";

    // CONNECTION and its Bridge child
    CConnectionSettings connection;
    bool EthUseFoExFw = false;
    // Program-wide flags of the bridge connect wizard, kept here for the settings files.
    bool WizShowBus = false;
    bool WizAutoScan = false;

    // OSCILLOSCOPE (channel variables live in the oscilloscope set-up)
    std::string OscLayout;
    int32_t AutoscaleMode = 0;
    int32_t PanesPosX = -1000;
    int32_t PanesPosY = -1000;
    int32_t OscPosX = -1000;
    int32_t OscPosY = -1000;
    int32_t OscWidth = 599;
    int32_t OscHeight = 317;
    int16_t TriggerLinkedTo = 1;
    std::string TriggerMode = "Auto";
    int32_t SamplingTime = 1;
    std::string TriggerValue = "0";
    std::string PretriggerValue = "0";
    int32_t SamplingTimeCode = 0;
    bool TriggerShow = false;
    bool TriggerSingle = true;
    bool TriggerRising = true;
    int32_t TriggerPosX = -1000;
    int32_t TriggerPosY = -1000;

    // STIMULUS
    bool LoadPreset = true;
    int32_t ApplyToValue = 0;
    int32_t RefSelector = 0;
    std::string Amplitude = "0";
    int32_t Frequency = 0;
    int32_t Duration = 0;
    bool AbsoluteMov = false;
    bool RepetetiveMov = false;
    int32_t ForwardReverseMov = 0;
    int32_t MovementDelay = 10;
    int32_t ProfileVel = 0;
    int32_t ProfilePos = 0;

    // READ_WRITE_VOCABULARY
    int32_t ShowAddressColumn = 1;
    int32_t OrderColumnNumber = 0;
    bool OrderFl = true;

    // PARAMETERS, PROGRAMS, VARIABLES
    std::string ParametersPath;
    std::string CmpPath;
    uint8_t CmpFormat = 0;
    uint8_t CmpSort = 0;
    std::string ProgramsPath;
    std::string ProgramFileName;
    std::array<std::string, 4> Var;

    // Output (message bar) and its Watch columns
    int32_t Dock = 59422;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 560;
    int32_t Height = 150;
    std::array<int32_t, 4> ColWidth = {250, 100, 100, 100};

    // DiagHistory
    int32_t UpdateMs = 2000;
    int16_t TimeFormat = 1;
    int16_t ShowUs = 0;
    bool Background = false;
};

constexpr int32_t kDockBottom = 59422;
constexpr int32_t kDockFloating = 59423;

}  // namespace drive
