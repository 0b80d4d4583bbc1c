#pragma once

// Looks a configuration file up in the maker's cloud index ("__index.json": {"files": [{"sw":
// compact identity text, "name": file name}, ...]}) and downloads the matching file into the
// "Xml" folder of the common data folder.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace foundation {

class CIdentity;

// The modeless progress window of the search; the window layer installs one.
class CCloudSearchProgress {
  public:
    virtual ~CCloudSearchProgress() = default;
    virtual void Open(const std::string& caption) = 0;
    // Line 0 names the wanted file, line 1 follows the downloads.
    virtual void SetText(int line, const std::string& text) = 0;
    virtual void Close() = 0;
};

// Null: no window. The window must outlive its installation.
void SetCloudSearchProgress(CCloudSearchProgress* progress);

// Where the cloud repository is: the environment variable, else the string value of the user's,
// else of the machine's product key, else the built-in address. Always ends in "/".
constexpr const char* kCloudAddressEnv = "TUNOVA_CLOUD_URL";
constexpr const char* kCloudAddressValue = "CloudAddress";
constexpr const char* kDefaultCloudAddress = "https://cloud.varno.example/tunova/xml/";
std::string GetCloudBaseAddress();

enum class CloudIndexMatch {
    Found,    // name holds the file name
    NoMatch,  // no element with the identity, or the first one has no name
    Invalid,  // not JSON
};
// The first element of "files" whose "sw" equals the wanted identity decides.
CloudIndexMatch FindInCloudIndex(std::string_view json, const CIdentity& target, std::string* name);

struct CloudSearchSettings {
    std::string baseAddress;             // ends in "/"
    std::filesystem::path targetFolder;  // where the file goes (created when missing)
    uint32_t receiveTimeoutMs = 0;       // 0: the download's default
};

// True when the matching file was downloaded and written whole. message (optional) receives the
// last debug-log line of the search, which says why it failed.
bool SearchCloudIndex(const CIdentity& target, const CloudSearchSettings& settings, std::string* message);

}  // namespace foundation
