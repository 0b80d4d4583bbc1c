#pragma once

// The XML parameter file (root "DEVICE_PARAMETER", format version 2): the list of parameters
// that goes into it, the value texts of read parameters and the document itself. The drive
// object supplies its identity and dictionary; these functions hold no drive state.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "drive/ParamFileItem.h"

namespace engine {
struct VocabularyItem;
}  // namespace engine

namespace foundation {
class CXmlNode;
class CXmlDocument;
}  // namespace foundation

namespace drive {

// Result codes of the parameter-file operations.
constexpr int kParamFileDone = 0;
constexpr int kParamFileReadErrors = 1;
constexpr int kParamFileWriteErrors = 4;
constexpr int kParamFileWriteFailed = 4097;
constexpr int kParamFileNothingToWrite = 4112;
constexpr int kParamFileCancelled = 4117;

// Fills the parameter list (Restore order above 0, write level up to highestLevel; grouped by
// write level from the highest down, then Restore order, then title or name) and, when info is
// given, the information list (Restore order 0, read level up to highestLevel, by title or name).
void BuildParameterFileList(const std::vector<engine::VocabularyItem>& dictionary, uint16_t highestLevel,
                            std::vector<ParamFileItem>& params, std::vector<ParamFileItem>* info);

// Value text of a parameter read from the drive; data holds the item's bytes in memory order
// (at least 4 bytes for sizes 1 to 4). isMotorGuid marks the motor identifier parameter.
// Returns false only when a 16-byte motor identifier could not be turned into text.
bool FormatParamValueText(const ParamFileItem& item, const uint8_t* data, size_t length, bool isMotorGuid,
                          std::string& text);

// "CAN", "MDB", "PRF", "ETH", "PNT" for bus type codes 1..7, empty otherwise.
std::string BusAddressKindText(int busType);

// One identity record (component identity) as written in IDENTITY\ELEMENT.
struct ParamFileIdentityRecord {
    int32_t role = 0;
    int32_t code = 0;
    int32_t major = 0;
    int32_t minor = 0;
    int32_t patch = 0;
    int32_t preStatus = 0;
    int32_t preNumber = 0;
};

// One compatibility key; minRevOnly keys carry only a major revision (written as MinRev).
struct ParamFileCompatKey {
    int32_t cmpKey = 0;
    bool minRevOnly = false;
    int32_t major = 0;
    int32_t minor = 0;
    int32_t patch = 0;
    int32_t preStatus = 0;
    int32_t preNumber = 0;
};

// Everything of the drive that goes into a parameter file besides the values.
struct ParamFileDeviceInfo {
    std::string creatorBy;                                                  // program version text
    std::string creatorRev;                                                 // program build number
    int day = 1, month = 1, year = 1970, hour = 0, minute = 0, second = 0;  // local time
    int32_t type = 0;
    int32_t hw = 0;
    int32_t hwRev = 0;
    int32_t swRev = 0;
    uint16_t build = 0;
    std::string descr;
    int32_t infoFormatType = 0;
    int32_t paramsFormatType = 0;
    int busType = 9;
    std::vector<ParamFileIdentityRecord> ownIdentities;        // kept only with code 1..32767
    std::vector<ParamFileIdentityRecord> componentIdentities;  // all
    std::vector<ParamFileCompatKey> compatKeys;                // empty: hardware and type keys at 0.0.1
    std::vector<std::string> diagnosticHistory;
    const foundation::CXmlNode* components = nullptr;  // the drive's "Components" description, or none
    // Name of a write level; empty leaves Level out.
    std::function<std::string(uint16_t)> levelName;
};

// Builds the header part (root to COMPATIBILITY) of a new parameter file document.
void BuildParameterDocumentHeader(foundation::CXmlDocument& doc, const ParamFileDeviceInfo& device);
// Appends INFO, PARAMETERS, DiagnosysHistory, COMPONENTS, Errors and Warnings.
void AppendParameterDocumentBody(foundation::CXmlDocument& doc, const ParamFileDeviceInfo& device,
                                 const std::vector<ParamFileItem>& params,
                                 const std::vector<ParamFileItem>& info,
                                 const std::vector<std::string>& errors,
                                 const std::vector<std::string>& warnings);

}  // namespace drive
