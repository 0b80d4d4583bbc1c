// Register map files of the simulated drive. One statement per line; '#' starts a comment;
// numbers are decimal or 0x-hexadecimal.
//
//   drive <slave>                                  following lines fill this drive
//   reg <address> <value> [<value>...]             consecutive holding registers
//   fill <first> <count> <value>                   a range of registers
//   u32 <address> <value> [swapped]                two registers, low word first
//   sdo <address> ro|rw <content> [abort <code>]   an SDO object
//   domain <address> ro|rw <content> [block <upload> <download>] [status <n>] [noprotocol]
//   component <code> <major> <minor> <patch> <state> <number> [<attr>=<value>...]
//   description [FILE]                             the drive behaves as FILE describes (relative to
//                                                  the map's folder; default: the simulated drive's
//                                                  own description), with its identity
//   set <name> <value> | set <name> "<text>"       a described variable's value (also its permanent
//                                                  copy and factory default)
//   inject <switch>                                a switch of tools/drivesim/SimSwitches.h
//
// <content> is: hex <bytes>, text "<text>" or size <n> (zero bytes).
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tools/drivesim/DriveSim.h"
#include "tools/drivesim/SimDriveModel.h"
#include "tools/drivesim/SimWiring.h"

namespace drivesim {

namespace {

bool ParseNumber(const std::string& text, uint32_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFul || text[0] == '-') return false;
    value = static_cast<uint32_t>(v);
    return true;
}

// Splits on blanks; "quoted text" is one token (without the quotes).
std::vector<std::string> Tokens(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        if (line[i] == '#') break;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            const size_t end = close == std::string::npos ? line.size() : close;
            out.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        size_t j = i;
        while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j]))) ++j;
        out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

bool ParseContent(const std::vector<std::string>& t, size_t& i, std::vector<uint8_t>& bytes,
                  std::string& error) {
    if (i + 1 >= t.size()) {
        error = "content expected";
        return false;
    }
    const std::string kind = t[i++];
    if (kind == "text") {
        bytes.assign(t[i].begin(), t[i].end());
        ++i;
        return true;
    }
    if (kind == "size") {
        uint32_t n = 0;
        if (!ParseNumber(t[i++], n) || n > 16u * 1024 * 1024) {
            error = "bad size";
            return false;
        }
        bytes.assign(n, 0);
        return true;
    }
    if (kind == "hex") {
        const std::string& hex = t[i++];
        if (hex.size() % 2 != 0) {
            error = "odd hex length";
            return false;
        }
        for (size_t k = 0; k < hex.size(); k += 2) {
            uint32_t v = 0;
            if (!ParseNumber("0x" + hex.substr(k, 2), v)) {
                error = "bad hex";
                return false;
            }
            bytes.push_back(static_cast<uint8_t>(v));
        }
        return true;
    }
    error = "unknown content '" + kind + "'";
    return false;
}

}  // namespace

bool DriveSim::LoadMapFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    mapFolder_ = std::filesystem::path(path).parent_path();
    const bool loaded = LoadMapText(text.str(), error);
    mapFolder_.clear();
    return loaded;
}

bool DriveSim::LoadMapText(const std::string& text, std::string* error) {
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    SimDrive* drive = nullptr;
    auto fail = [&](const std::string& what) {
        if (error) *error = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    while (std::getline(lines, line)) {
        ++lineNumber;
        const std::vector<std::string> t = Tokens(line);
        if (t.empty()) continue;
        std::vector<uint32_t> n;
        const std::string& word = t[0];
        if (word == "drive") {
            uint32_t slave = 0;
            if (t.size() != 2 || !ParseNumber(t[1], slave) || slave < 1 || slave > 247)
                return fail("drive <1..247> expected");
            drive = &AddDrive(static_cast<uint8_t>(slave));
            continue;
        }
        if (!drive) return fail("'drive' must come first");
        if (word == "reg" || word == "fill" || word == "u32") {
            for (size_t i = 1; i < t.size(); ++i) {
                uint32_t v = 0;
                if (t[i] == "swapped") break;
                if (!ParseNumber(t[i], v)) return fail("number expected: " + t[i]);
                n.push_back(v);
            }
            if (n.size() < 2 || n[0] > 0xFFFF) return fail(word + ": address and value expected");
            if (word == "reg") {
                std::vector<uint16_t> values;
                for (size_t i = 1; i < n.size(); ++i) values.push_back(static_cast<uint16_t>(n[i]));
                drive->SetRegisters(static_cast<uint16_t>(n[0]), values);
            } else if (word == "fill") {
                if (n.size() != 3) return fail("fill <first> <count> <value>");
                drive->FillRegisters(static_cast<uint16_t>(n[0]), n[1], static_cast<uint16_t>(n[2]));
            } else {
                drive->SetU32(static_cast<uint16_t>(n[0]), n[1], t.back() == "swapped");
            }
            continue;
        }
        if (word == "sdo" || word == "domain") {
            uint32_t address = 0;
            if (t.size() < 4 || !ParseNumber(t[1], address) || address > 0xFFFF)
                return fail("address expected");
            const bool writable = t[2] == "rw";
            if (!writable && t[2] != "ro") return fail("ro or rw expected");
            size_t i = 3;
            std::vector<uint8_t> bytes;
            std::string what;
            if (!ParseContent(t, i, bytes, what)) return fail(what);
            if (word == "sdo") {
                SimSdoObject object{bytes, writable, 0};
                if (i + 1 < t.size() && t[i] == "abort" && !ParseNumber(t[i + 1], object.abortCode))
                    return fail("abort code expected");
                drive->SetSdoObject(static_cast<uint16_t>(address), object);
            } else {
                SimDomain domain;
                domain.bytes = bytes;
                domain.writable = writable;
                while (i < t.size()) {
                    uint32_t a = 0, b = 0;
                    if (t[i] == "block" && i + 2 < t.size() && ParseNumber(t[i + 1], a) &&
                        ParseNumber(t[i + 2], b)) {
                        domain.uploadBlock = a;
                        domain.downloadBlock = b;
                        i += 3;
                    } else if (t[i] == "status" && i + 1 < t.size() && ParseNumber(t[i + 1], a)) {
                        domain.status = static_cast<uint8_t>(a);
                        i += 2;
                    } else if (t[i] == "noprotocol") {
                        domain.offered = false;
                        ++i;
                    } else {
                        return fail("unknown domain option '" + t[i] + "'");
                    }
                }
                drive->SetDomain(static_cast<uint16_t>(address), domain);
            }
            continue;
        }
        if (word == "component") {
            if (t.size() < 7) return fail("component <code> <major> <minor> <patch> <state> <number>");
            SimComponent c;
            uint32_t* fields[] = {&c.code, &c.major, &c.minor, &c.patch, &c.preState, &c.preNumber};
            for (size_t i = 0; i < 6; ++i)
                if (!ParseNumber(t[i + 1], *fields[i])) return fail("number expected: " + t[i + 1]);
            for (size_t i = 7; i < t.size(); ++i) {
                const size_t eq = t[i].find('=');
                uint32_t code = 0, value = 0;
                if (eq == std::string::npos || !ParseNumber(t[i].substr(0, eq), code) ||
                    !ParseNumber(t[i].substr(eq + 1), value))
                    return fail("attribute <code>=<value> expected");
                c.attributes.emplace_back(static_cast<int>(code), static_cast<int>(value));
            }
            drive->AddComponent(c);
            continue;
        }
        if (word == "description") {
            if (t.size() > 2) return fail("description [FILE] expected");
            std::filesystem::path file =
                t.size() == 2 ? std::filesystem::path(t[1]) : DefaultDescriptionPath();
            if (file.empty()) return fail("the simulated drive's description is not installed");
            if (file.is_relative() && !mapFolder_.empty()) file = mapFolder_ / file;
            auto model = std::make_shared<SimDriveModel>();
            std::string what;
            if (!model->Load(file, &what)) return fail(what);
            DescribeModbusDrive(*drive, model);
            continue;
        }
        if (word == "set" || word == "inject") {
            const std::shared_ptr<SimDriveModel> model = drive->Model();
            if (!model) return fail("'" + word + "' needs a described drive");
            if (word == "inject") {
                std::string what;
                if (t.size() != 2 || !model->ApplySwitch(t[1], &what))
                    return fail(t.size() != 2 ? "inject <switch> expected" : what);
                continue;
            }
            if (t.size() != 3) return fail("set <name> <value> expected");
            // A quoted value is a text; the tokenizer drops the quotes, so look at the line.
            const bool quoted = line.find('"') != std::string::npos;
            bool ok = false;
            if (quoted) {
                ok = model->SetText(t[1], t[2]);
            } else if (auto number = ParseSimNumber(t[2])) {
                ok = model->Set(t[1], *number);
            } else {
                return fail("number expected: " + t[2]);
            }
            if (!ok) return fail("no variable '" + t[1] + "' of that kind");
            continue;
        }
        return fail("unknown statement '" + word + "'");
    }
    return true;
}

}  // namespace drivesim
