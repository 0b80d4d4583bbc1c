#include "drive/VersionRequirements.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/ProgramFolders.h"
#include "foundation/Version.h"
#include "foundation/XmlAttribute.h"
#include "foundation/XmlNode.h"
#include "platform/VersionInfo.h"

using namespace foundation;

namespace drive {

namespace {

std::string Format(const char* format, const std::string& a, int32_t b, const std::string& c, int32_t d) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, a.c_str(), b, c.c_str(), d);
    return buffer;
}

// A version text that does not read as numbers compares as 0.
uint64_t VersionNumber(const std::string& text) {
    return VersionTextToNumber(text);
}

// "version[,build]": the version part (may be empty) and the build part. Without a comma there is
// no build to compare: a plain "maxver" text must not refuse every build above 0.
bool SplitVersionBuild(const std::string& value, std::string& version, int32_t& build) {
    size_t comma = value.find(',');
    if (comma == std::string::npos) {
        version = value;
        build = 0;
        return false;
    }
    version = value.substr(0, comma);
    build = std::atoi(value.c_str() + comma + 1);
    return true;
}

}  // namespace

ProgramVersionFacts CurrentProgramVersion() {
    const platform::VersionInfo& info = platform::ProgramVersion();
    ProgramVersionFacts facts;
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", info.major, info.minor, info.patch, info.build);
    facts.text = text;
    facts.build = info.build;
    facts.name = kProgramName;
    return facts;
}

bool CheckClientRequirements(const CXmlNode& client, std::string& message) {
    return CheckClientRequirements(client, message, CurrentProgramVersion());
}

bool CheckClientRequirements(const CXmlNode& client, std::string& message,
                             const ProgramVersionFacts& program) {
    message.clear();
    const uint64_t version = VersionNumber(program.text);
    const std::string& name = program.name;
    for (const CXmlAttribute* attribute : client.Attributes()) {
        const std::string& key = attribute->Name();
        if (key == "minVersion") {
            int32_t value = attribute->GetIntValue();
            if (program.build < value) {
                message = Format(
                    "%s version less of the device required version (device requires minimum build "
                    "%d). Install a %s version greater or equal to build %d",
                    name, value, name, value);
                return false;
            }
        } else if (key == "maxVersion") {
            int32_t value = attribute->GetIntValue();
            if (program.build > value) {
                message = Format(
                    "The device requires %s with maximum build %d). Install a %s version lower or "
                    "equal to build %d",
                    name, value, name, value);
                return false;
            }
        } else if (key == "minVer") {
            if (version < VersionNumber(attribute->Value())) {
                message = "The device requires " + name + " with minimum version " + attribute->Value();
                return false;
            }
        } else if (key == "maxVer") {
            if (version > VersionNumber(attribute->Value())) {
                message = "The device requires " + name + " with maximum version " + attribute->Value();
                return false;
            }
        } else if (key == "minVersionRecommended") {
            int32_t value = attribute->GetIntValue();
            if (program.build < value) {
                char buffer[512];
                std::snprintf(buffer, sizeof buffer,
                              "This %s version doesn't support all the drives futures.\r\nIt's higly "
                              "recommended to install %s with build version %d or greater.",
                              name.c_str(), name.c_str(), value);
                message = buffer;
            }
        } else if (key == "recVer") {
            if (version < VersionNumber(attribute->Value())) {
                message = "This " + name +
                          " version doesn't support all the drives futures.\r\nIt's recommended to "
                          "install " +
                          name + " version " + attribute->Value() + " or greater.";
            }
        }
    }
    return true;
}

bool CheckVersionRequirements(const CXmlNode& entry) {
    return CheckVersionRequirements(entry, CurrentProgramVersion());
}

bool CheckVersionRequirements(const CXmlNode& entry, const ProgramVersionFacts& program) {
    const uint64_t version = VersionNumber(program.text);
    std::string part;
    int32_t build = 0;
    for (const CXmlAttribute* attribute : entry.Attributes()) {
        const std::string& key = attribute->Name();
        if (key == "type") {
            if (attribute->Value() != "fw") return false;
        } else if (key == "minver") {
            bool hasBuild = SplitVersionBuild(attribute->Value(), part, build);
            if (hasBuild && program.build < build) return false;
            if (!part.empty() && version < VersionNumber(part)) return false;
        } else if (key == "maxver") {
            bool hasBuild = SplitVersionBuild(attribute->Value(), part, build);
            if (hasBuild && program.build > build) return false;
            if (!part.empty() && version > VersionNumber(part)) return false;
        } else if (key == "recver") {
            SplitVersionBuild(attribute->Value(), part, build);
            if (!part.empty() && version < VersionNumber(part)) return true;
        }
    }
    return true;
}

std::string FirmwareProgramRequirement(const CXmlNode& entry, const ProgramVersionFacts& program) {
    const uint64_t version = VersionNumber(program.text);
    const char* name = program.name.c_str();
    char text[256];
    for (const bool minimum : {true, false}) {
        const std::string value = entry.GetAttribute(minimum ? "minver" : "maxver");
        if (value.empty()) continue;
        std::string part;
        int32_t build = 0;
        bool hasBuild = SplitVersionBuild(value, part, build);
        // A plain number is a build number.
        if (!hasBuild && part.find_first_not_of("0123456789") == std::string::npos) {
            build = std::atoi(part.c_str());
            part.clear();
            hasBuild = true;
        }
        if (minimum) {
            if (!part.empty() && version < VersionNumber(part)) {
                std::snprintf(text, sizeof text, "To handle this firmware is requested %s v. %s or greater",
                              name, part.c_str());
                return text;
            }
            if (hasBuild && program.build < build) {
                std::snprintf(text, sizeof text,
                              "To handle this firmware is requested %s build %d or greater", name, build);
                return text;
            }
        } else {
            if (hasBuild && program.build > build) {
                std::snprintf(text, sizeof text,
                              "To handle this firmware is requested %s with maximum build %d", name, build);
                return text;
            }
            if (!part.empty() && version > VersionNumber(part)) {
                std::snprintf(text, sizeof text,
                              "To handle this firmware is requested %s with maximum version %s", name,
                              part.c_str());
                return text;
            }
        }
    }
    return {};
}

}  // namespace drive
