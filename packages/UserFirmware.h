#pragma once

// The user's additional firmware description files: one "Xml" folder per configuration-file
// source, holding files named "*_*.xml". Listing, reading their identity columns, import,
// removal and export, and the worker that scans a folder for the dialog. Every path used is
// absolute: nothing here reads or changes the process's working directory.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/BrandList.h"
#include "platform/Event.h"
#include "platform/Messages.h"
#include "platform/Thread.h"

namespace packages {

// "*_*.xml": an underscore before the ".xml" extension (extension in any case).
bool IsUserFirmwareName(const std::string& name);

// The user firmware folder of a source: "Xml" below its base folder. Empty when the source does
// not exist or has no absolute base folder (a relative one would depend on the working directory).
std::filesystem::path UserFirmwareFolder(const foundation::CBrandList& list, int source);

struct UserFirmwareRow {
    std::string file;  // name within the folder
    std::string hw, sw, version, description;
};

// The "*_*.xml" files of the folder, sorted by name. A folder that cannot be read gives no names
// and its error text.
std::vector<std::string> ListUserFirmwareFiles(const std::filesystem::path& folder,
                                               std::string* error = nullptr);
// Fills the identity columns of a row from the file: a "DEVICE" root gives "Hw" from its "hw"
// attribute and the identity from an "Identity" child or from its legacy attributes. A file that
// does not load says so in the description.
void ReadUserFirmwareDetails(const std::filesystem::path& file, UserFirmwareRow& row);

// What a file operation on several files did: how many went, and one message per failure.
struct UserFirmwareResult {
    int done = 0;
    std::vector<std::string> errors;
};

// Creates the folder when missing; "Error creating user folder." when it cannot.
std::string EnsureUserFirmwareFolder(const std::filesystem::path& folder);
// Copies the file into the folder under its own name, replacing a file of that name; a failure
// leaves the old file whole. Empty text on success.
std::string ImportUserFirmware(const std::filesystem::path& folder, const std::filesystem::path& source);
// Deletes the named files of the folder. A read-only file (its owner may not write it) is kept
// and reported, as are files that cannot be deleted.
UserFirmwareResult RemoveUserFirmware(const std::filesystem::path& folder,
                                      const std::vector<std::string>& names);
// Deletes every "*_*.xml" file of the folder.
UserFirmwareResult RemoveAllUserFirmware(const std::filesystem::path& folder);
// Copies the named files of the folder into the destination folder.
UserFirmwareResult ExportUserFirmware(const std::filesystem::path& folder,
                                      const std::vector<std::string>& names,
                                      const std::filesystem::path& destination);

// Bumped whenever user firmware files were removed: lists built from the user folders before
// are stale and read again by whoever holds them.
uint64_t UserFirmwareGeneration();
void MarkUserFirmwareStale();

// Scans one folder at a time on its own thread and posts message (wParam = request number) to
// the window, which then takes the rows with TakeResult on its own thread. A new request ends
// the scan in progress. Stop (and the destructor) ends the worker and joins it.
class CUserFirmwareScanner {
  public:
    struct Result {
        uint64_t request = 0;
        std::filesystem::path folder;
        std::string error;  // the folder could not be made or read
        std::vector<UserFirmwareRow> rows;
        bool complete = false;  // false: names only so far, details follow
    };

    CUserFirmwareScanner(platform::WindowHandle window, unsigned message);
    ~CUserFirmwareScanner();
    CUserFirmwareScanner(const CUserFirmwareScanner&) = delete;
    CUserFirmwareScanner& operator=(const CUserFirmwareScanner&) = delete;

    bool Start();
    // Asks for a scan of the folder (empty: an empty list), with or without the identity
    // columns; returns its request number.
    uint64_t Request(const std::filesystem::path& folder, bool details);
    void Stop();
    bool IsRunning() const { return thread_.IsRunning(); }
    // The latest result posted; none before the first.
    std::optional<Result> TakeResult();

  private:
    struct Pending {
        uint64_t request = 0;
        std::filesystem::path folder;
        bool details = false;
    };
    void Run(platform::StopToken& token);
    void Scan(const Pending& pending, platform::StopToken& token);
    bool Superseded(const platform::StopToken& token) const;
    void Publish(Result result);

    const platform::WindowHandle window_;
    const unsigned message_;
    platform::Thread thread_;
    platform::Event wake_{false};
    mutable std::mutex lock_;
    std::optional<Pending> pending_;
    std::optional<Result> result_;
    uint64_t nextRequest_ = 0;
};

}  // namespace packages
