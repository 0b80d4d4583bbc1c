#pragma once

#include <cstdint>
#include <string>

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace drive {

// The program's own version as the requirement checks see it.
struct ProgramVersionFacts {
    std::string text;   // "major.minor.patch.build"
    int32_t build = 0;  // the fourth part
    std::string name;   // program name used in the messages
};

// The running program's facts, from its file version.
ProgramVersionFacts CurrentProgramVersion();

// Client requirements of a device's configuration document ("ClientList\Client"). False when a
// requirement fails (message holds the reason); true otherwise (message holds the last advice
// that applied, or is empty).
bool CheckClientRequirements(const foundation::CXmlNode& client, std::string& message);
bool CheckClientRequirements(const foundation::CXmlNode& client, std::string& message,
                             const ProgramVersionFacts& program);

// Whether a device-tree entry may be offered to this program.
bool CheckVersionRequirements(const foundation::CXmlNode& entry);
bool CheckVersionRequirements(const foundation::CXmlNode& entry, const ProgramVersionFacts& program);

// What a firmware entry ("minver", "maxver": a build number, a version, or "version,build") asks of
// this program that it is not; empty when the program can handle the firmware.
std::string FirmwareProgramRequirement(const foundation::CXmlNode& entry, const ProgramVersionFacts& program);

}  // namespace drive
