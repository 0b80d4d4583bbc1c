#include "drive/PlainParamFile.h"

#include <strings.h>
#include <cstdio>

#include "foundation/TextFile.h"
#include "foundation/XmlNode.h"
#include "platform/Folders.h"
#include "platform/StringHelpers.h"

using namespace foundation;

namespace drive {

namespace {

std::string Format(const char* format, int value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

}  // namespace

std::string WritePlainParamFile(const CXmlNode& root, const std::filesystem::path& file, int addressKind) {
    const bool bus = addressKind == kPlainParamBusAddresses;
    std::string out = "[DEVICE_PARAMETER]\r\n" + Format("Version = %d", root.GetAttributeInt("Version", 0));
    if (const CXmlNode* device = root.FindNode("DEVICE")) {
        out += "\r\n[DEVICE]\r\n" + Format("Type = %d", device->GetAttributeInt("Type", 0)) + "\r\n" +
               Format("Hw = %d", device->GetAttributeInt("Hw", 0)) + "\r\n" +
               Format("HwRev = %d", device->GetAttributeInt("HwRev", 0));
        const CXmlNode* params = device->FindNode("PARAMETERS");
        std::string format;
        if (!bus) {
            format = "Modbus";
        } else if (params) {
            std::string kind = params->GetAttribute("BusAddress", "");
            if (kind == "ETH" || kind == "CAN") format = "CANopen";
            if (kind == "PNT") format = "Profinet";
        }
        if (!format.empty()) out += "\r\n[BUS]\r\nAddressFormat = " + format;
        if (const CXmlNode* identity = device->FindNode("IDENTITY")) {
            for (const CXmlNode* e : identity->Children()) {
                if (e->Name() != "ELEMENT") continue;
                out += "\r\n[IDENTITY ELEMENT]";
                for (const char* a : {"Role", "Code", "Major", "Minor", "Patch", "PreStatus", "PreNumber"})
                    out += "\r\n" + std::string(a) + Format(" = %d", e->GetAttributeInt(a, 0));
            }
        }
        if (const CXmlNode* compat = device->FindNode("COMPATIBILITY")) {
            for (const CXmlNode* d : compat->Children()) {
                if (d->Name() != "DATA") continue;
                out += "\r\n[COMPATIBILITY KEY]";
                for (const char* a : {"CmpKey", "Major", "Minor", "Patch", "PreStatus", "PreNumber"})
                    out += "\r\n" + std::string(a) + Format(" = %d", d->GetAttributeInt(a, 0));
            }
        }
        if (params) {
            const char* addressName = bus ? "BusAddress" : "MdbAddress";
            std::string previousLevel;
            for (const CXmlNode* d : params->Children()) {
                if (d->Name() != "DATA") continue;
                std::string address = d->GetAttribute(addressName, "");
                if (address.empty()) continue;
                std::string level = d->GetAttribute("Level", "user");
                if (level != previousLevel) {
                    previousLevel = level;
                    if (EqualsNoCase(level, "factory"))
                        out += "\r\n[PARAMETERS FACTORY]";
                    else if (EqualsNoCase(level, "integrator"))
                        out += "\r\n[PARAMETERS INTEGRATOR]";
                    else
                        out += "\r\n[PARAMETERS USER]";
                }
                int size = d->GetAttributeInt("Size", 0);
                std::string value = d->GetAttribute("Value", "0");
                if (size > 4) value = "\"" + value + "\"";
                out += "\r\n; " + d->GetAttribute("Name", "") + "\r\n" + address + Format(" (%d) = ", size) +
                       value;
            }
        }
    }
    TextFile f;
    if (f.OpenForWriting(file) != 0) return "Error creating file";
    f.SetEncoding(kTextEncodingAnsi);
    f.SetFlags(kTextFileRawLineEnds);
    if (f.CreateWriter() != 0) {
        f.Close();
        return "Error creating file";
    }
    f.Write(out);
    // A failed write leaves the old file whole; only the creation failure is reported.
    if (f.Close() != 0) return "Error creating file";
    return {};
}

std::map<std::string, std::string>& ParameterAliases() {
    static std::map<std::string, std::string> aliases;
    return aliases;
}

void LoadParameterAliases(const std::filesystem::path& file) {
    TextFile f;
    if (f.OpenForReading(file) != 0) return;
    f.SetEncoding(kTextEncodingDetect);
    if (f.CreateReader() != 0) {
        f.Close();
        return;
    }
    auto& aliases = ParameterAliases();
    std::string line;
    while (f.ReadLine(line) == 0) {
        size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        std::string name = platform::Trim(line.substr(0, eq));
        std::string alternative = platform::Trim(line.substr(eq + 1));
        if (name.empty() || alternative.empty()) continue;
        auto it = aliases.find(name);
        if (it == aliases.end()) {
            aliases.emplace(name, alternative);
        } else if (it->second.find(alternative) == std::string::npos) {
            it->second += "=" + alternative;
        }
    }
    f.Close();
}

void LoadParameterAliases() {
    LoadParameterAliases(platform::ProgramDataFolder() / "Xml" / "ParamRenamed.txt");
}

}  // namespace drive
