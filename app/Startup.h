#pragma once
// Start-up of the program: the program-wide state it settles (access level, switches, command
// line results, version texts) and the small program-wide helpers beside it. Each step takes
// its registry store and folders, so that tests run it against their own.

#include <cstdint>
#include <filesystem>
#include <string>

namespace platform {
class Registry;
}
namespace foundation {
class CAuthorizations;
class CXmlNode;
class LogFile;
}  // namespace foundation

namespace app {

class CCmdLineInfo;

// Program-wide state set at start-up and read by the windows.
struct ProgramState {
    std::string goOnline;    // emptied once the main frame handed it to the drive object
    std::string loadConfig;  // read by the main dialog
    std::string qzPath;      // the peer-tool exchange file
    std::string rawCommandLine;
    bool resetGui = false;
    bool hide = false;
    uint32_t dialogBackground = 0xF0F0F0;  // 0x00BBGGRR, the button face colour at start
    std::string batch;
    // Version block.
    std::string fileVersion;  // "%d.%d.%d.%d"
    uint32_t build = 0;
    std::string internalName;
    std::string copyright;
    std::string webSite;
    std::string privateBuild;
    std::string productText;
};

ProgramState& Program();

// Registry strings are read into 260-byte buffers: longer values are cut there (259 bytes and
// the terminating zero), never in the middle of a UTF-8 sequence.
constexpr size_t kRegistryTextLimit = 260;
std::string CutRegistryText(std::string text);

// The access level and tags: the "Access" key of the product key (user scope, then machine
// scope), then the command line's "tags=", "debug" and "user=". Sets the debug mode switch.
void ApplyAccessLevel(foundation::CAuthorizations& users, platform::Registry& registry,
                      const std::string& productKey, const CCmdLineInfo& cmd);

// Takes the command line's other results into the program-wide state.
void ApplyCommandLine(const CCmdLineInfo& cmd, ProgramState& state);

// "LogDebug", "LogErrors", "Mirel" (and "Beta") under the product key, machine scope only.
void ReadDiagnosticSwitches(platform::Registry& registry, const std::string& productKey);

// "LogDebug.txt" in the temporary folder with its start line, only while the debug log switch
// is on. Returns the log's error text (the log is closed again then); empty otherwise.
std::string OpenDebugLog(foundation::LogFile& log, const std::filesystem::path& tempFolder);

// Fills the version texts of the state from the program's version; returns the build number.
uint32_t ReadProgramVersionInfo();

// The component lines of the About box, joined by "\r\n".
std::string GetComponentVersionsText();

// The built-in error list ("ERRORLIST" XML), empty when it is missing.
std::string LoadDefaultErrorList();

// The configuration file one item of a configuration-file index names.
std::string GetXmlFilePath(const foundation::CXmlNode& item);

}  // namespace app
