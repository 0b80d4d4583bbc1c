#include "packages/UserFirmware.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <system_error>

#include "foundation/Identity.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/SystemError.h"

namespace packages {

namespace fs = std::filesystem;
using foundation::CXmlNode;

namespace {

std::atomic<uint64_t> g_generation{0};

std::string FailureText(const std::string& what, const std::string& detail) {
    return what + "\n" + detail;
}

// Copies through a temporary file beside the target: the target is whole or untouched.
std::string CopyFile(const fs::path& source, const fs::path& target) {
    std::string data, error;
    if (!platform::ReadWholeFile(source, &data, &error) || !platform::WriteFileAtomic(target, data, &error))
        return FailureText("Error copying file.", error);
    return {};
}

bool IsReadOnly(const fs::path& file) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(file, ec);
    return !ec && fs::is_regular_file(status) &&
           (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

std::string RemoveOne(const fs::path& file) {
    int code = 0;
    // The system refuses to delete a read-only file on the platforms the files come from; here
    // the owner's missing write right keeps it the same way.
    if (IsReadOnly(file))
        code = EACCES;
    else
        code = platform::RemoveFile(file);
    if (code == 0) return {};
    return FailureText("Error deleting file.",
                       file.filename().string() + ": " + platform::SystemErrorText(code));
}

}  // namespace

bool IsUserFirmwareName(const std::string& name) {
    if (name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == ".xml" && name.find('_') < name.size() - 4;
}

fs::path UserFirmwareFolder(const foundation::CBrandList& list, int source) {
    const auto& sources = list.Sources();
    if (source < 0 || static_cast<size_t>(source) >= sources.size()) return {};
    const fs::path base = sources[size_t(source)]->m_strBaseFolder;
    if (base.empty() || !base.is_absolute()) return {};
    return fs::path(list.GetBrandFolder(sources[size_t(source)]->m_strName.c_str(), 1)).lexically_normal();
}

std::vector<std::string> ListUserFirmwareFiles(const fs::path& folder, std::string* error) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Folders that happen to match are listed too: deleting them then says why it cannot.
        if (IsUserFirmwareName(name)) names.push_back(name);
    }
    if (ec && error) *error = folder.string() + ": " + ec.message();
    std::sort(names.begin(), names.end());
    return names;
}

void ReadUserFirmwareDetails(const fs::path& file, UserFirmwareRow& row) {
    row.hw.clear();
    row.sw.clear();
    row.version.clear();
    row.description.clear();
    foundation::CXmlDocument document;
    if (document.Load(file) != foundation::S_OK) {
        row.description = document.ErrorCode() == foundation::CXmlDocument::kErrCannotRead
                              ? "Cannot read the file"
                              : "Not a valid XML file (error " + std::to_string(document.ErrorCode()) + ")";
        return;
    }
    const CXmlNode& root = document.Root();
    if (root.Name() != "DEVICE") {
        row.description = "Not a firmware description file";
        return;
    }
    row.hw = root.GetAttribute("hw");
    foundation::CIdentity identity;
    const CXmlNode* description = root.FindNode("Description");
    if (const CXmlNode* node = root.FindNode("Identity")) {
        identity.ReadProductNode(node);
        row.description = identity.name;
    } else {
        // Builds above 2000 are build numbers of a release, not beta numbers.
        int32_t build = root.GetAttributeInt("build", 0);
        if (build > 2000) build = 0;
        identity.SetLegacy(root.GetAttributeInt("sw", 0), root.GetAttributeInt("sw_ver", 0), uint16_t(build),
                           true);
    }
    if (row.description.empty() && description != nullptr) row.description = description->Value();
    row.sw = std::to_string(identity.code);
    row.version = identity.version.GetText();
}

std::string EnsureUserFirmwareFolder(const fs::path& folder) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return {};
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) {
        const std::string reason = ec ? ec.message() : "not a folder";
        return FailureText("Error creating user folder.", folder.string() + ": " + reason);
    }
    return {};
}

std::string ImportUserFirmware(const fs::path& folder, const fs::path& source) {
    if (folder.empty() || !folder.is_absolute()) return "Error creating user folder.";
    if (std::string error = EnsureUserFirmwareFolder(folder); !error.empty()) return error;
    return CopyFile(source, folder / source.filename());
}

UserFirmwareResult RemoveUserFirmware(const fs::path& folder, const std::vector<std::string>& names) {
    UserFirmwareResult result;
    if (folder.empty() || !folder.is_absolute()) return result;
    for (const std::string& name : names) {
        // Names come from the list of this folder: never one that reaches elsewhere.
        if (name.empty() || fs::path(name).filename() != fs::path(name)) continue;
        if (std::string error = RemoveOne(folder / name); error.empty())
            ++result.done;
        else
            result.errors.push_back(std::move(error));
    }
    if (result.done > 0) MarkUserFirmwareStale();
    return result;
}

UserFirmwareResult RemoveAllUserFirmware(const fs::path& folder) {
    if (folder.empty() || !folder.is_absolute()) return {};
    return RemoveUserFirmware(folder, ListUserFirmwareFiles(folder));
}

UserFirmwareResult ExportUserFirmware(const fs::path& folder, const std::vector<std::string>& names,
                                      const fs::path& destination) {
    UserFirmwareResult result;
    if (folder.empty() || !folder.is_absolute()) return result;
    const fs::path target = fs::absolute(destination);
    for (const std::string& name : names) {
        if (name.empty() || fs::path(name).filename() != fs::path(name)) continue;
        if (std::string error = CopyFile(folder / name, target / name); error.empty())
            ++result.done;
        else
            result.errors.push_back(std::move(error));
    }
    return result;
}

uint64_t UserFirmwareGeneration() {
    return g_generation.load();
}

void MarkUserFirmwareStale() {
    ++g_generation;
}

// ---- scan worker ----------------------------------------------------------------------------

CUserFirmwareScanner::CUserFirmwareScanner(platform::WindowHandle window, unsigned message)
    : window_(window), message_(message) {}

CUserFirmwareScanner::~CUserFirmwareScanner() {
    Stop();
}

bool CUserFirmwareScanner::Start() {
    if (thread_.IsRunning()) return true;
    return thread_.Start("UserFirmwareScan", [this](platform::StopToken& token) { Run(token); });
}

uint64_t CUserFirmwareScanner::Request(const fs::path& folder, bool details) {
    uint64_t request = 0;
    {
        std::lock_guard<std::mutex> hold(lock_);
        request = ++nextRequest_;
        pending_ = Pending{request, folder, details};
    }
    wake_.Set();
    return request;
}

void CUserFirmwareScanner::Stop() {
    thread_.RequestStop();
    wake_.Set();
    thread_.Join();
}

std::optional<CUserFirmwareScanner::Result> CUserFirmwareScanner::TakeResult() {
    std::lock_guard<std::mutex> hold(lock_);
    return result_;
}

void CUserFirmwareScanner::Run(platform::StopToken& token) {
    while (!token.StopRequested()) {
        // The run flag is looked at every 100 ms even without a request.
        wake_.Wait(100);
        std::optional<Pending> pending;
        {
            std::lock_guard<std::mutex> hold(lock_);
            pending.swap(pending_);
        }
        if (pending) Scan(*pending, token);
    }
}

bool CUserFirmwareScanner::Superseded(const platform::StopToken& token) const {
    if (token.StopRequested()) return true;
    std::lock_guard<std::mutex> hold(lock_);
    return pending_.has_value();
}

void CUserFirmwareScanner::Publish(Result result) {
    const uint64_t request = result.request;
    {
        std::lock_guard<std::mutex> hold(lock_);
        result_ = std::move(result);
    }
    platform::PostMessage(window_, message_, static_cast<uintptr_t>(request), 0);
}

void CUserFirmwareScanner::Scan(const Pending& pending, platform::StopToken& token) {
    Result result;
    result.request = pending.request;
    result.folder = pending.folder;
    if (pending.folder.empty() || !pending.folder.is_absolute()) {
        result.complete = true;
        Publish(std::move(result));
        return;
    }
    result.error = EnsureUserFirmwareFolder(pending.folder);
    if (result.error.empty()) {
        std::string error;
        for (std::string& name : ListUserFirmwareFiles(pending.folder, &error))
            result.rows.push_back({std::move(name), {}, {}, {}, {}});
        result.error = error;
    }
    if (!pending.details || result.rows.empty()) {
        result.complete = true;
        Publish(std::move(result));
        return;
    }
    if (Superseded(token)) return;
    Publish(result);
    for (UserFirmwareRow& row : result.rows) {
        if (Superseded(token)) return;
        ReadUserFirmwareDetails(pending.folder / row.file, row);
    }
    result.complete = true;
    Publish(std::move(result));
}

}  // namespace packages
