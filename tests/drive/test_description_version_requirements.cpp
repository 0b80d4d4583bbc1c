#include <gtest/gtest.h>

#include <string>

#include "drive/VersionRequirements.h"
#include "foundation/XmlDocument.h"
#include "platform/VersionInfo.h"

using namespace foundation;
using namespace drive;

namespace {

struct ClientCase {
    const char* attributes;
    bool result;
    const char* message;
};

bool CheckClient(const char* attributes, std::string& message, const ProgramVersionFacts& program) {
    CXmlDocument doc;
    std::string text = std::string("<Client ") + attributes + "/>";
    EXPECT_EQ(doc.LoadXml(text), S_OK) << text;
    return CheckClientRequirements(doc.Root(), message, program);
}

TEST(DescriptionVersionRequirements, ClientRequirementsAgainstProgram) {
    const ProgramVersionFacts program{"1.4.9.100", 100, "Tunova"};
    const ClientCase cases[] = {
        {"", true, ""},
        {"minVer=\"1.5\"", false, "The device requires Tunova with minimum version 1.5"},
        {"minVer=\"1.4.9.100\" maxVer=\"1.4.9.100\" minVersion=\"100\" maxVersion=\"100\"", true, ""},
        {"minVersion=\"0x80\"", false,
         "Tunova version less of the device required version (device requires minimum build 128). "
         "Install a Tunova version greater or equal to build 128"},
        {"maxVersion=\"99\"", false,
         "The device requires Tunova with maximum build 99). Install a Tunova version lower or equal "
         "to build 99"},
        {"maxVer=\"1.4\"", false, "The device requires Tunova with maximum version 1.4"},
        // A failing requirement replaces the advice already set.
        {"minVersionRecommended=\"120\" maxVer=\"1.4.0\"", false,
         "The device requires Tunova with maximum version 1.4.0"},
        // Of two advices that apply, the later one is kept.
        {"minVersionRecommended=\"120\" recVer=\"2.0\"", true,
         "This Tunova version doesn't support all the drives futures.\r\nIt's recommended to install "
         "Tunova version 2.0 or greater."},
        {"recVer=\"2.0\" minVersionRecommended=\"120\"", true,
         "This Tunova version doesn't support all the drives futures.\r\nIt's higly recommended to "
         "install Tunova with build version 120 or greater."},
        {"recVer=\"1.4.9\" minVersionRecommended=\"100\"", true, ""},
        // Not a number: build 0, so a minimum never fails and a maximum fails above build 0.
        {"minVersion=\"abc\"", true, ""},
        {"maxVersion=\"abc\"", false,
         "The device requires Tunova with maximum build 0). Install a Tunova version lower or equal "
         "to build 0"},
        // Names are case-sensitive; other attributes are ignored.
        {"MinVer=\"9.0\" minversion=\"999\" vendor=\"x\"", true, ""},
    };
    for (const ClientCase& c : cases) {
        std::string message = "stale";
        EXPECT_EQ(CheckClient(c.attributes, message, program), c.result) << c.attributes;
        EXPECT_EQ(message, c.message) << c.attributes;
    }
}

struct TreeCase {
    const char* program;
    int32_t build;
    const char* attributes;
    bool offered;
};

TEST(DescriptionVersionRequirements, TreeEntriesOffered) {
    const TreeCase cases[] = {
        {"2.0.0.150", 150, "type=\"fw\"", true},
        {"2.0.0.150", 150, "type=\"FW\"", false},
        {"2.0.0.150", 150, "", true},
        {"2.0.0.150", 150, "minver=\"1.0\"", true},
        {"2.0.0.150", 150, "minver=\",200\"", false},
        {"2.0.0.150", 150, "minver=\",150\"", true},
        {"2.1.0.5", 5, "minver=\"2.0,10\"", false},
        {"2.1.0.5", 5, "minver=\"2.2,1\"", false},
        {"2.1.0.5", 5, "minver=\"2.1,5\" maxver=\"2.1.0.5,5\"", true},
        {"2.0", 0, "recver=\"9.0\" minver=\"99.0\"", true},
        {"2.0", 0, "minver=\"99.0\" recver=\"9.0\"", false},
        {"2.0", 0, "recver=\"1.0,999\" minver=\"99.0\"", false},
        {"2.0.0.150", 150, "maxver=\"1.0\"", false},
        {"2.0.0.150", 150, "maxver=\"3.0,100\"", false},
        // A plain version text without a build part does not compare builds.
        {"2.0.0.150", 150, "maxver=\"3.0\"", true},
        {"2.0.0.150", 150, "type=\"fw\" minver=\"x.y\"", true},
    };
    for (const TreeCase& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml(std::string("<Entry ") + c.attributes + "/>"), S_OK);
        ProgramVersionFacts program{c.program, c.build, "Tunova"};
        EXPECT_EQ(CheckVersionRequirements(doc.Root(), program), c.offered)
            << c.program << " " << c.attributes;
    }
}

TEST(DescriptionVersionRequirements, CurrentProgramVersionHasFourParts) {
    ProgramVersionFacts facts = CurrentProgramVersion();
    const platform::VersionInfo& info = platform::ProgramVersion();
    EXPECT_EQ(facts.text, std::to_string(info.major) + "." + std::to_string(info.minor) + "." +
                              std::to_string(info.patch) + "." + std::to_string(info.build));
    EXPECT_EQ(facts.build, info.build);
    EXPECT_EQ(facts.name, "Tunova");
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<Client minVer=\"" + facts.text + "\" maxVer=\"" + facts.text + "\"/>"), S_OK);
    std::string message;
    EXPECT_TRUE(CheckClientRequirements(doc.Root(), message));
    EXPECT_TRUE(CheckVersionRequirements(doc.Root()));
}

}  // namespace

namespace {

TEST(DescriptionVersionRequirements, FirmwareEntriesSayWhatTheyNeedOfTheProgram) {
    const ProgramVersionFacts program{"1.4.9.100", 100, "Tunova"};
    const struct {
        const char* attributes;
        const char* requirement;
    } cases[] = {
        {"", ""},
        {"minver=\"1.4\" maxver=\"1.5\"", ""},
        {"minver=\"100\" maxver=\"100\"", ""},
        {"minver=\"1.5\"", "To handle this firmware is requested Tunova v. 1.5 or greater"},
        {"minver=\"120\"", "To handle this firmware is requested Tunova build 120 or greater"},
        {"minver=\"1.4,101\"", "To handle this firmware is requested Tunova build 101 or greater"},
        {"maxver=\"99\"", "To handle this firmware is requested Tunova with maximum build 99"},
        {"maxver=\"1.3\"", "To handle this firmware is requested Tunova with maximum version 1.3"},
    };
    for (const auto& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml(std::string("<Voc type=\"fw\" ") + c.attributes + "/>"), S_OK);
        EXPECT_EQ(FirmwareProgramRequirement(doc.Root(), program), c.requirement) << c.attributes;
    }
}

}  // namespace
