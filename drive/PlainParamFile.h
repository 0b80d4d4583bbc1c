#pragma once

// The plain INI-style parameter text file (written only) and the program-wide parameter alias
// list "ParamRenamed.txt".

#include <filesystem>
#include <map>
#include <string>

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace drive {

// Address kind that selects bus addresses; any other value selects Modbus addresses.
constexpr int kPlainParamBusAddresses = 32874;
constexpr int kPlainParamModbusAddresses = 32873;

// Writes the plain parameter file from the root of a parameter file document (temp + rename).
// Returns an empty text on success, "Error creating file" when the file cannot be written.
std::string WritePlainParamFile(const foundation::CXmlNode& root, const std::filesystem::path& file,
                                int addressKind);

// Program-wide map from a parameter name to its alternative names joined by "=".
std::map<std::string, std::string>& ParameterAliases();

// Adds the lines "name = alternative" of a file to the map; a missing file changes nothing.
void LoadParameterAliases(const std::filesystem::path& file);
// The program's own list: "ParamRenamed.txt" in the "Xml" folder of the program data folder.
void LoadParameterAliases();

}  // namespace drive
