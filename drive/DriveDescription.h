#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "drive/ErrorReport.h"

namespace foundation {
class CXmlDocument;
class CXmlNode;
}  // namespace foundation

namespace drive {

class CParametri;

// What reading a drive description needs from the drive object.
class CDriveDescriptionHost {
  public:
    virtual ~CDriveDescriptionHost() = default;
    // False only when a drive is connected and its vocabulary lacks the name (cell info -303).
    virtual bool IsVariableKnown(const std::string& name) = 0;
    // Unit definitions of "DRIVE_SETUP" (null when absent) for the unit converter.
    virtual void ReadUnitDefinitions(const foundation::CXmlNode* driveSetup) { (void)driveSetup; }
    // The system manager's commands from the document's root.
    virtual void ReadSystemManager(const foundation::CXmlNode& root) { (void)root; }
    // "Program\Build" for the IEC build driver; null clears its settings.
    virtual void SetBuildElement(foundation::CXmlNode* build) { (void)build; }
    virtual int FamilyCode() const { return 0; }
    virtual bool DebugSwitch() const { return false; }
    virtual bool Silent() const { return false; }
};

struct CControlModeEntry {
    std::string inputTitle;
    std::string inputName;
    std::string title;
    std::string type;
    std::string name;
    int8_t value = 0;
};

struct CSensorCode {
    std::string title;
    int32_t mask = 0;
    int32_t value = 0;
    std::string name;
    uint8_t phasingType = 0;
    std::map<std::string, std::string> items;
};

// The drive object's tables that its drive description fills.
class CDriveDescription {
  public:
    // Whole document, once per load: 2 no document, 1 "VARIABLES" or "IO_SETTINGS" absent (what
    // precedes has been read), 0 read whole. descriptionFile names the loaded file.
    int ReadDriveSetup(foundation::CXmlDocument* document, const std::filesystem::path& descriptionFile,
                       CParametri& parameters, CDriveDescriptionHost& host);
    // The same from an element that holds the description's sections (a configuration's "Data").
    int ReadDriveSetupFrom(foundation::CXmlNode* root, const std::filesystem::path& descriptionFile,
                           CParametri& parameters, CDriveDescriptionHost& host);

    // 2 no document, 1 no "DRIVE_SETUP\CONTROL_MODE", 0 otherwise.
    static int GetControlModes(const foundation::CXmlDocument* document,
                               std::vector<CControlModeEntry>& modes);

    // One "LIST" of "DRIVE_SETUP": 2 no document, 1 no "DRIVE_SETUP", no "LIST" at all or the
    // list has no "ELEMENT", 0 read or no list of that name.
    static int GetSetupList(const foundation::CXmlNode* root, const std::string& listName,
                            std::vector<std::string>& titles, std::vector<std::string>& values,
                            std::vector<std::string>* names, const char* attributeName,
                            std::vector<std::string>* attributeValues, const char* listAttributeName,
                            std::string* listAttributeText);

    std::map<int32_t, std::string> firmwareStatus;
    CDriveErrorTable errorTable;
    std::map<std::string, size_t> variableIndex;  // Title -> index in the configured variables
    std::string shownVariables[4];
    int32_t debounceTime = 0;
    std::map<int32_t, CSensorCode> sensors;
    std::string loopTypeCaption = "Loop type:";
    std::map<int32_t, std::string> loopTypes;
    std::map<uint16_t, std::string> motorTemperatureSensors;
    std::filesystem::path lastDescriptionFile;
    std::filesystem::path temporaryCopy;  // deleted once a different description has been read

  private:
    void ReadFirmwareStatus(const foundation::CXmlNode& root);
    void ReadErrors(const foundation::CXmlNode& root);
    void ReadVariables(const foundation::CXmlNode& variables, CParametri& parameters,
                       CDriveDescriptionHost& host);
    void ReadIoSettings(const foundation::CXmlNode& io, CParametri& parameters);
    void ReadLoopTypes(const foundation::CXmlNode* driveSetup);
    void ReadSensorCodes(const foundation::CXmlNode* driveSetup);
    void ReadMotorTemperatureSensors(const foundation::CXmlNode* driveSetup, CDriveDescriptionHost& host);
    void ApplyDefaults(CDriveDescriptionHost& host);
};

// Decimals of a display value from its factor ("auto").
int32_t AutoDecimals(double factor);

}  // namespace drive
