#include "platform/Registry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/StringHelpers.h"
#include "platform/SystemError.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSerialKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// "A\\\\B\\" -> "A\\B": the separators the callers happen to write do not make other keys.
std::string NormaliseKey(const std::string& key) {
    std::string out;
    size_t i = 0;
    while (i < key.size()) {
        const size_t j = std::min(key.find('\\', i), key.size());
        if (j > i) {
            if (!out.empty()) out += '\\';
            out.append(key, i, j - i);
        }
        i = j + 1;
    }
    return out;
}

bool LessNoCase(const std::string& a, const std::string& b) {
    const std::string la = Lower(a), lb = Lower(b);
    return la != lb ? la < lb : a < b;
}

// Escapes for the file: backslash, '=' (in names), line ends, controls.
std::string Escape(const std::string& s, bool isName) {
    std::string out;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (isName && (c == '=' || c == '[' || c == ';' || c == '#')) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Unescape(std::string_view s, std::string* out) {
    out->clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            *out += s[i];
            continue;
        }
        if (++i >= s.size()) return false;
        switch (s[i]) {
            case '\\':
                *out += '\\';
                break;
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            case 't':
                *out += '\t';
                break;
            case 'x': {
                if (i + 2 >= s.size()) return false;
                const int hi = HexDigit(s[i + 1]);
                const int lo = HexDigit(s[i + 2]);
                if (hi < 0 || lo < 0) return false;
                *out += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

// Key paths keep their backslashes as written; only '%', ']' and controls are encoded (%HH).
std::string EscapeKey(const std::string& s) {
    std::string out;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '%' || c == ']' || u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "%%%02X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

bool UnescapeKey(std::string_view s, std::string* out) {
    out->clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            *out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return false;
        const int hi = HexDigit(s[i + 1]);
        const int lo = HexDigit(s[i + 2]);
        if (hi < 0 || lo < 0) return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

// The name ends at the first '=' that is not escaped ('=' in names is always written \x3D).
size_t FindAssign(std::string_view line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
        } else if (line[i] == '=') {
            return i;
        }
    }
    return std::string_view::npos;
}

bool ParseDword(std::string_view text, uint32_t* value) {
    std::string s(text);
    if (s.empty()) return false;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const char* begin = s.c_str() + (hex ? 2 : 0);
    if (*begin == '\0' || *begin == '-' || *begin == '+' || *begin == ' ') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(begin, &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

fs::path DefaultUserFile() {
    const char* env = std::getenv("TUNOVA_REGISTRY_USER");
    if (env && *env) return env;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    fs::path base;
    if (xdg && *xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : "/tmp") / ".config";
    }
    return base / "tunova" / "registry";
}

fs::path DefaultMachineFile() {
    const char* env = std::getenv("TUNOVA_REGISTRY_MACHINE");
    if (env && *env) return env;
    return "/etc/tunova/registry";
}

bool IsSerialName(const std::string& name) {
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        const std::string p = prefix;
        if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
            std::all_of(name.begin() + static_cast<long>(p.size()), name.end(),
                        [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    }
    return false;
}

// ttyS2 < ttyS10: compare the text part, then the number.
bool PortLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
        return std::make_pair(s.substr(0, i), i < s.size() ? std::stoul(s.substr(i)) : 0ul);
    };
    return split(a) < split(b);
}

}  // namespace

Registry& Registry::Instance() {
    static Registry* instance = new Registry(DefaultMachineFile(), DefaultUserFile());
    return *instance;
}

Registry::Registry(fs::path machineFile, fs::path userFile) {
    machine_.file = std::move(machineFile);
    user_.file = std::move(userFile);
}

const fs::path& Registry::File(Scope scope) const {
    return scope == Scope::Machine ? machine_.file : user_.file;
}

Registry::Store& Registry::StoreOf(Scope scope) {
    Store& store = scope == Scope::Machine ? machine_ : user_;
    if (!store.loaded) Load(store);
    return store;
}

void Registry::Load(Store& store) {
    store.keys.clear();
    store.loaded = true;
    std::string data;
    if (!ReadWholeFile(store.file, &data, nullptr)) return;  // missing file: empty store
    std::istringstream in(data);
    std::string line;
    Key* current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == ';' || line[first] == '#') continue;
        if (line[first] == '[') {
            current = nullptr;
            const size_t last = line.find_last_not_of(" \t");
            std::string path;
            if (line[last] != ']' ||
                !UnescapeKey(std::string_view(line).substr(first + 1, last - first - 1), &path))
                continue;  // damaged section: its values are skipped too
            path = NormaliseKey(path);
            Key& key = store.keys[Lower(path)];
            if (key.name.empty()) key.name = path;
            current = &key;
            continue;
        }
        if (!current) continue;
        const size_t eq = FindAssign(line);
        if (eq == std::string::npos) continue;
        Value v;
        if (!Unescape(std::string_view(line).substr(0, eq), &v.name)) continue;
        const std::string_view rest = std::string_view(line).substr(eq + 1);
        if (rest.substr(0, 6) == "dword:") {
            v.type = Value::Type::Dword;
            if (!ParseDword(rest.substr(6), &v.dword)) continue;
        } else if (rest.substr(0, 3) == "sz:") {
            v.type = Value::Type::String;
            if (!Unescape(rest.substr(3), &v.text)) continue;
        } else {
            continue;
        }
        current->values[Lower(v.name)] = v;
    }
}

bool Registry::Save(Store& store) {
    std::vector<const Key*> keys;
    for (const auto& [id, key] : store.keys) keys.push_back(&key);
    std::sort(keys.begin(), keys.end(),
              [](const Key* a, const Key* b) { return LessNoCase(a->name, b->name); });
    std::string out = "; Tunova registry: [key path], then name=dword:0x... or name=sz:text\n";
    for (const Key* key : keys) {
        out += "\n[" + EscapeKey(key->name) + "]\n";
        std::vector<const Value*> values;
        for (const auto& [id, v] : key->values) values.push_back(&v);
        std::sort(values.begin(), values.end(),
                  [](const Value* a, const Value* b) { return LessNoCase(a->name, b->name); });
        for (const Value* v : values) {
            out += Escape(v->name, true);
            if (v->type == Value::Type::Dword) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "=dword:0x%08X\n", v->dword);
                out += buf;
            } else {
                out += "=sz:" + Escape(v->text, false) + "\n";
            }
        }
    }
    std::error_code ec;
    const fs::path dir = store.file.parent_path();
    if (!dir.empty()) fs::create_directories(dir, ec);
    if (ec) {
        lastError_ = "Cannot create folder " + dir.string() + ": " + SystemErrorText(ec.value());
        return false;
    }
    std::string error;
    if (!WriteFileAtomic(store.file, out, &error)) {
        lastError_ = error;
        return false;
    }
    return true;
}

Registry::Value* Registry::FindValue(Scope scope, const std::string& key, const std::string& name) {
    Store& store = StoreOf(scope);
    const auto k = store.keys.find(Lower(NormaliseKey(key)));
    if (k == store.keys.end()) return nullptr;
    const auto v = k->second.values.find(Lower(name));
    return v == k->second.values.end() ? nullptr : &v->second;
}

std::optional<uint32_t> Registry::GetDword(Scope scope, const std::string& key, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Value* v = FindValue(scope, key, name);
    if (!v || v->type != Value::Type::Dword) return std::nullopt;
    return v->dword;
}

std::optional<std::string> Registry::GetString(Scope scope, const std::string& key, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Value* v = FindValue(scope, key, name);
    if (!v || v->type != Value::Type::String) return std::nullopt;
    return v->text;
}

bool Registry::Apply(Scope scope, const std::function<bool(Store&)>& change) {
    // Read-modify-write on the file's current content, so that changes written by
    // another process meanwhile are kept; memory changes only when the write succeeded.
    Store& store = scope == Scope::Machine ? machine_ : user_;
    Store fresh;
    fresh.file = store.file;
    Load(fresh);
    if (!change(fresh)) {
        store = std::move(fresh);
        return false;
    }
    if (!Save(fresh)) return false;
    store = std::move(fresh);
    return true;
}

bool Registry::SetValue(Scope scope, const std::string& key, const std::string& name, const Value& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string path = NormaliseKey(key);
    return Apply(scope, [&](Store& s) {
        Key& k = s.keys[Lower(path)];
        if (k.name.empty()) k.name = path;
        Value& v = k.values[Lower(name)];
        if (v.name.empty()) v.name = name;
        v.type = value.type;
        v.dword = value.dword;
        v.text = value.text;
        return true;
    });
}

bool Registry::SetDword(Scope scope, const std::string& key, const std::string& name, uint32_t value) {
    return SetValue(scope, key, name, {Value::Type::Dword, {}, value, {}});
}

bool Registry::SetString(Scope scope, const std::string& key, const std::string& name,
                         const std::string& value) {
    return SetValue(scope, key, name, {Value::Type::String, {}, 0, value});
}

bool Registry::CreateKey(Scope scope, const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string path = NormaliseKey(key);
    if (path.empty()) return true;
    {
        Store& s = StoreOf(scope);
        if (s.keys.count(Lower(path))) return true;
    }
    return Apply(scope, [&](Store& s) {
        Key& k = s.keys[Lower(path)];
        if (k.name.empty()) k.name = path;
        return true;
    });
}

bool Registry::DeleteValue(Scope scope, const std::string& key, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string id = Lower(NormaliseKey(key));
    return Apply(scope, [&](Store& s) {
        const auto k = s.keys.find(id);
        return k != s.keys.end() && k->second.values.erase(Lower(name)) > 0;
    });
}

bool Registry::DeleteKey(Scope scope, const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string id = Lower(NormaliseKey(key));
    if (id.empty()) return false;  // the root is not a key to delete
    return Apply(scope, [&](Store& s) {
        bool any = false;
        for (auto it = s.keys.begin(); it != s.keys.end();) {
            if (it->first == id || it->first.compare(0, id.size() + 1, id + "\\") == 0) {
                it = s.keys.erase(it);
                any = true;
            } else {
                ++it;
            }
        }
        return any;
    });
}

bool Registry::KeyExists(Scope scope, const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string id = Lower(NormaliseKey(key));
    Store& s = StoreOf(scope);
    if (id.empty()) return true;
    for (const auto& [k, v] : s.keys) {
        if (k == id || k.compare(0, id.size() + 1, id + "\\") == 0) return true;
    }
    return false;
}

std::vector<std::string> Registry::EnumKeys(Scope scope, const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string id = Lower(NormaliseKey(key));
    const std::string prefix = id.empty() ? std::string() : id + "\\";
    Store& s = StoreOf(scope);
    std::map<std::string, std::string> children;  // lower-case -> as written
    for (const auto& [k, v] : s.keys) {
        if (k.size() <= prefix.size() || k.compare(0, prefix.size(), prefix) != 0) continue;
        const size_t end = std::min(k.find('\\', prefix.size()), k.size());
        const std::string child = v.name.substr(prefix.size(), end - prefix.size());
        children.emplace(Lower(child), child);
    }
    std::vector<std::string> out;
    for (const auto& [lower, name] : children) out.push_back(name);
    std::sort(out.begin(), out.end(), LessNoCase);
    return out;
}

std::vector<std::string> Registry::EnumValueNames(Scope scope, const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    Store& s = StoreOf(scope);
    std::vector<std::string> out;
    const auto k = s.keys.find(Lower(NormaliseKey(key)));
    if (k == s.keys.end()) return out;
    for (const auto& [id, v] : k->second.values) out.push_back(v.name);
    std::sort(out.begin(), out.end(), LessNoCase);
    return out;
}

void Registry::Reload() {
    std::lock_guard<std::mutex> lock(mutex_);
    machine_.loaded = false;
    user_.loaded = false;
}

std::string Registry::LastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

void Registry::SetTtyClassFolder(fs::path folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    ttyFolder_ = std::move(folder);
}

std::vector<std::string> Registry::SerialPortList() {
    fs::path folder;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        folder = ttyFolder_;
    }
    std::vector<std::string> ports;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsSerialName(name)) continue;
        std::error_code e2;
        if (!fs::exists(it->path() / "device", e2)) continue;
        // The 8250 driver lists placeholder ports without a UART; they report type 0.
        if (name.compare(0, 4, "ttyS") == 0) {
            std::ifstream type(it->path() / "type");
            int t = -1;
            if (type >> t && t == 0) continue;
        }
        ports.push_back(name);
    }
    std::sort(ports.begin(), ports.end(), PortLess);
    for (Scope scope : {Scope::User, Scope::Machine}) {
        for (const std::string& name : EnumValueNames(scope, kSerialKey)) {
            const auto value = GetString(scope, kSerialKey, name);
            if (value && !value->empty() && std::find(ports.begin(), ports.end(), *value) == ports.end())
                ports.push_back(*value);
        }
    }
    return ports;
}

std::vector<std::string> SerialPortList() {
    return Registry::Instance().SerialPortList();
}

}  // namespace platform
