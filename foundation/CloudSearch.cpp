#include "foundation/CloudSearch.h"

#include <json-parser/json.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "foundation/Identity.h"
#include "foundation/LogFile.h"
#include "foundation/ProgramFolders.h"
#include "platform/AtomicFile.h"
#include "platform/Http.h"
#include "platform/Registry.h"

namespace foundation {

namespace fs = std::filesystem;

namespace {

std::atomic<CCloudSearchProgress*> g_progress{nullptr};

std::string WithSlash(std::string address) {
    if (!address.empty() && address.back() != '/') address += '/';
    return address;
}

// The member of an object by exact key, first occurrence; null when absent or not an object.
const json_value* Member(const json_value* object, const char* key) {
    if (!object || object->type != json_object) return nullptr;
    const size_t keyLength = std::strlen(key);
    for (unsigned i = 0; i < object->u.object.length; ++i) {
        const json_object_entry& entry = object->u.object.values[i];
        if (entry.name_length == keyLength && std::memcmp(entry.name, key, keyLength) == 0)
            return entry.value;
    }
    return nullptr;
}

bool IsString(const json_value* value) {
    return value && value->type == json_string;
}

std::string Text(const json_value* value) {
    return std::string(value->u.string.ptr, value->u.string.length);
}

// The name becomes a file of the target folder: a plain file name only, never a path.
bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    }
    return true;
}

// The name as a part of an address.
std::string EscapeForAddress(const std::string& name) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

// Opens the progress window for the search and closes it on every way out.
class ProgressWindow {
  public:
    ProgressWindow() : window_(g_progress.load()) {
        if (window_) window_->Open("Searching libraries in source directory");
    }
    ~ProgressWindow() {
        if (window_) window_->Close();
    }
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;
    void SetText(int line, const std::string& text) {
        if (window_) window_->SetText(line, text);
    }
    bool IsOpen() const { return window_ != nullptr; }

  private:
    CCloudSearchProgress* window_;
};

// A whole successful answer with data.
bool Download(platform::CWebGrab& grab, const std::string& address, std::string& data, std::string* why) {
    if (!grab.GetFile(address, data, kProgramName)) {
        *why = grab.Error();
        return false;
    }
    if (grab.StatusCode() < 200 || grab.StatusCode() > 299) {
        *why = address + ": " + std::to_string(grab.StatusCode()) + " " + grab.StatusText();
        data.clear();
        return false;
    }
    if (data.empty()) {
        *why = address + ": empty answer";
        return false;
    }
    return true;
}

}  // namespace

void SetCloudSearchProgress(CCloudSearchProgress* progress) {
    g_progress = progress;
}

std::string GetCloudBaseAddress() {
    const char* env = std::getenv(kCloudAddressEnv);
    if (env && *env) return WithSlash(env);
    auto& registry = platform::Registry::Instance();
    for (auto scope : {platform::Scope::User, platform::Scope::Machine}) {
        auto value = registry.GetString(scope, GetProductKey(), kCloudAddressValue);
        if (value && !value->empty()) return WithSlash(*value);
    }
    return kDefaultCloudAddress;
}

CloudIndexMatch FindInCloudIndex(std::string_view json, const CIdentity& target, std::string* name) {
    name->clear();
    json_settings settings = {};
    char error[json_error_max] = {};
    json_value* root = json_parse_ex(&settings, json.data(), json.size(), error);
    if (!root) return CloudIndexMatch::Invalid;
    CloudIndexMatch result = CloudIndexMatch::NoMatch;
    const json_value* files = Member(root, "files");
    if (files && files->type == json_array) {
        for (unsigned i = 0; i < files->u.array.length; ++i) {
            const json_value* element = files->u.array.values[i];
            const json_value* sw = Member(element, "sw");
            if (!IsString(sw)) continue;
            CIdentity candidate;
            if (!candidate.ParseCompactText(Text(sw)) || !candidate.IsEqual(target)) continue;
            // The first equal element decides, with or without a name.
            const json_value* fileName = Member(element, "name");
            if (IsString(fileName)) {
                *name = Text(fileName);
                result = CloudIndexMatch::Found;
            }
            break;
        }
    }
    json_value_free(root);
    return result;
}

bool SearchCloudIndex(const CIdentity& target, const CloudSearchSettings& settings, std::string* message) {
    std::string last;
    auto log = [&](const std::string& text) {
        DebugLog().Write(text);
        last = text;
    };
    bool found = false;
    {
        ProgressWindow window;
        platform::CWebGrab grab;
        grab.SetReceiveTimeout(settings.receiveTimeoutMs);
        if (window.IsOpen())
            grab.SetStatusSink([&window](const std::string& text) { window.SetText(1, text); });

        const std::string searching =
            "Searching Vkr cloud for configuration file " + target.GetCodeVersionText() + " ...";
        window.SetText(0, searching);
        window.SetText(1, "");
        log(searching);

        std::string index;
        std::string why;
        std::string name;
        if (!Download(grab, settings.baseAddress + "__index.json", index, &why)) {
            DebugLog().Write(why);
            log("Failed download index");
        } else {
            switch (FindInCloudIndex(index, target, &name)) {
                case CloudIndexMatch::Invalid:
                    log("Invalid index content");
                    break;
                case CloudIndexMatch::NoMatch:
                    last = "No configuration file " + target.GetCodeVersionText() + " in the index";
                    break;
                case CloudIndexMatch::Found:
                    break;
            }
        }
        index.clear();
        index.shrink_to_fit();

        if (!name.empty() && !IsPlainFileName(name)) {
            log("Invalid file name in index: " + name);
        } else if (!name.empty()) {
            log("Downloading " + name + "...");
            std::string file;
            if (!Download(grab, settings.baseAddress + EscapeForAddress(name), file, &why)) {
                DebugLog().Write(why);
                log("Failed download file");
            } else {
                std::error_code ec;
                fs::create_directories(settings.targetFolder, ec);
                platform::AtomicFileWriter writer;
                if (!writer.Open(settings.targetFolder / name)) {
                    DebugLog().Write(writer.Error());
                    log("Error creating file");
                } else if (!writer.Write(file) || !writer.Commit()) {
                    DebugLog().Write(writer.Error());
                    log("Error writing file");
                } else {
                    log("Downloaded successful");
                    found = true;
                }
            }
        }
    }  // the window closes before the result goes back
    if (message) *message = last;
    return found;
}

}  // namespace foundation
