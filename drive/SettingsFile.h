#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "drive/DriveSettings.h"

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace drive {

// The virtual screen (whole desktop) the message bar must stay on.
struct ScreenArea {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 1920;
    int32_t height = 1080;
};

// What the settings files need from the rest of the drive object.
class ISettingsHost {
  public:
    virtual ~ISettingsHost() = default;
    // Oscilloscope set-up: channel 0..3 variable, set without checking the variable table.
    virtual void SetChannelVariable(int channel, const std::string& name) = 0;
    virtual void AssignChannels() = 0;
    virtual std::string GetChannelVariable(int channel) const = 0;
    // Unit converter: fills or reads the "UA" element.
    virtual void SaveUnitSettings(foundation::CXmlNode& ua) = 0;
    virtual void LoadUnitSettings(const foundation::CXmlNode& ua) = 0;
    // True when the current drive description knows the variable.
    virtual bool IsDescriptionVariable(const std::string& name) const = 0;
    virtual ScreenArea VirtualScreen() const = 0;
};

// Where the per-device file is read from and written to, as the drive object holds it now.
struct DeviceSettingsContext {
    bool connected = false;
    uint32_t deviceGroup = 0;
    bool linearMotor = false;
    bool resetGui = false;  // "resetgui" on the command line
};

// Reads and writes the drive object's settings members as settings documents (".ini" XML files,
// also used as configuration files the user opens and saves).
class CSettingsFile {
  public:
    static constexpr int kFileVersion = 9;
    static constexpr const char* kRootName = "TunovaIniFile";

    CSettingsFile(CDriveSettings& settings, ISettingsHost& host) : s_(settings), host_(host) {}

    // "Tunova.ini" in the settings folder.
    static std::filesystem::path ProgramSettingsPath(const std::filesystem::path& folder);
    // The program-wide file in the user's settings folder.
    static std::filesystem::path DefaultProgramSettingsPath();
    // "Tunova<group>[L].ini" next to the program-wide file.
    static std::filesystem::path DeviceSettingsPath(const std::filesystem::path& programPath, uint32_t group,
                                                    bool linear);

    void SetDefaultSettings();
    void SetDefaultLayout();
    // True when the document was accepted. With newConnectionRequested the MAIN and version
    // messages are not shown.
    bool LoadProgramSettings(const std::filesystem::path& path, bool newConnectionRequested = false);
    // False (with the reason in error) when the file could not be written; the old file stays whole.
    bool SaveProgramSettings(const std::filesystem::path& path, std::string* error = nullptr);
    void ValidateOutputLayout();

    void LoadDeviceSettings(const std::filesystem::path& programPath, const DeviceSettingsContext& context);
    // Writes nothing (and gives true) while no drive is connected.
    bool SaveDeviceSettings(const std::filesystem::path& programPath, const DeviceSettingsContext& context,
                            std::string* error = nullptr);
    void ResetWindowPositions();
    // Empties the path members longer than the old path limit (after the per-device file is read).
    void ClearOverlongPaths();

  private:
    void ReadOscilloscope(const foundation::CXmlNode& osc, bool version9);
    void ReadTriggerCore(const foundation::CXmlNode& trigger, bool version9);
    void ReadPositions(const foundation::CXmlNode& osc);
    void ReadStimulus(const foundation::CXmlNode& node);
    void ReadOutput(const foundation::CXmlNode& root);
    void WriteOscilloscope(foundation::CXmlNode& root);
    void WriteStimulus(foundation::CXmlNode& root) const;
    void WriteVocabulary(foundation::CXmlNode& root) const;
    void WriteOutput(foundation::CXmlNode& root) const;

    CDriveSettings& s_;
    ISettingsHost& host_;
};

}  // namespace drive
