#include <gtest/gtest.h>

#include <string>

#include "foundation/CompatChecker.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "packages/FirmwareContainer.h"

using namespace foundation;
using namespace packages;

namespace {

const std::string kFixtures = std::string(TUNOVA_FIXTURES) + "/packages/";

// The components of a device: hardware 410, boot 20 and firmware 1234 in the given versions.
void LoadDevice(CCompatChecker& checker, const char* hardware, const char* boot, const char* firmware) {
    std::string xml = std::string("<Components>") + R"(<Component code="410"><Version )" + hardware +
                      R"(/><Attributes><Attribute code="1" value="1"/></Attributes></Component>)" +
                      R"(<Component code="20"><Version )" + boot +
                      R"(/><Attributes><Attribute code="1" value="2"/></Attributes></Component>)" +
                      R"(<Component code="1234"><Version )" + firmware +
                      R"(/><Attributes><Attribute code="1" value="3"/></Attributes></Component>)" +
                      "</Components>";
    CXmlDocument document;
    ASSERT_EQ(document.LoadXml(xml), S_OK);
    checker.LoadComponents(&document.Root());
}

TEST(CompatFirmwareContainer, ChecksTheContainersCompatibilityKeys) {
    for (const char* file : {"fw_v4_le.fw", "fw_v4_be.fw"}) {
        CFirmwareContainer container;
        ASSERT_EQ(container.ReadFirmwareInfo(kFixtures + file, true, true), "") << file;

        struct Case {
            const char *hardware, *boot, *firmware, *expected;
        } cases[] = {
            {R"(major="1" minor="2" patch="0")", R"(major="4" minor="0" patch="0")",
             R"(major="2" minor="0" patch="0")", ""},
            {R"(major="1" minor="3" patch="0")", R"(major="5" minor="-1" patch="-1")",
             R"(major="2" minor="0" patch="0")", ""},
            {R"(major="1" minor="2" patch="0")", R"(major="3" minor="9" patch="9")",
             R"(major="2" minor="0" patch="0")",
             "firmware:Firmware 1234 requires Boot 20 v. 4.0.0, device has Boot 20 v. 3.9.9"},
            {R"(major="1" minor="1" patch="7")", R"(major="4" minor="0" patch="0")",
             R"(major="2" minor="0" patch="0")",
             "firmware:Firmware 1234 requires Hardware 410 v. 1.2.0, device has Hardware 410 v. 1.1.7"},
        };
        for (const Case& c : cases) {
            CCompatChecker checker;
            LoadDevice(checker, c.hardware, c.boot, c.firmware);
            EXPECT_EQ(checker.CheckFirmware(container), c.expected) << file << " " << c.boot;
        }
    }
}

TEST(CompatFirmwareContainer, LegacyBootNeedsItsKeyComponentOnlyWhenTheDeviceHasIt) {
    CFirmwareContainer container;
    ASSERT_EQ(container.ReadFirmwareInfo(kFixtures + "boot_legacy_v3.bin", false, false), "");
    CCompatChecker checker;
    LoadDevice(checker, R"(major="1" minor="2" patch="0")", R"(major="3" minor="0" patch="0")",
               R"(major="2" minor="0" patch="0")");
    // The container requires component 30, which this device does not have.
    EXPECT_EQ(checker.CheckFirmware(container), "");
}

}  // namespace
