#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/CompatChecker.h"
#include "foundation/XmlDocument.h"

using namespace foundation;

namespace {

// A device answering the version-browse and identity requests from a list of components, as the
// channel drivers relay them.
struct FakeDevice {
    struct Component {
        uint32_t code, major, minor, patch, state, number;
        std::vector<std::pair<int, int>> attributes;  // code, value
    };
    std::vector<Component> components;
    std::string selectError;  // answer to command 1001
    bool endless = false;     // never runs out of components
    std::vector<std::string> log;

    size_t cursor = 0;
    bool enumerating = false;

    static FakeDevice& Of(void* context) { return *static_cast<FakeDevice*>(context); }

    static void Browse(std::string& error, void* context, int command, int parameter, int* response) {
        FakeDevice& device = Of(context);
        device.log.push_back(std::to_string(command) + ":" + std::to_string(parameter) + ":" +
                             std::to_string(*response));
        error.clear();
        switch (command) {
            case kBrowseSelectDescription:
                error = device.selectError;
                return;
            case kBrowseBeginEnumeration:
                device.cursor = 0;
                device.enumerating = true;
                return;
            case kBrowseNextComponent:
                ++device.cursor;
                return;
            case kBrowseEndEnumeration:
                device.enumerating = false;
                return;
            case kBrowseReadAttributeCode: {
                const Component* current = device.Current();
                if (!current || parameter < 0 ||
                    static_cast<size_t>(parameter) >= current->attributes.size()) {
                    error = "no attribute";
                    return;
                }
                *response = current->attributes[static_cast<size_t>(parameter)].first;
                return;
            }
            case kBrowseReadAttributeValue: {
                const Component* current = device.Current();
                for (const auto& [code, value] :
                     current ? current->attributes : std::vector<std::pair<int, int>>{}) {
                    if (code == parameter) {
                        *response = value;
                        return;
                    }
                }
                error = "no value";
                return;
            }
            default:
                error = "unknown command";
                return;
        }
    }

    static void Identity(std::string& error, void* context, uint32_t* code, uint32_t* major, uint32_t* minor,
                         uint32_t* patch, uint32_t* state, uint32_t* number) {
        FakeDevice& device = Of(context);
        device.log.push_back("identity");
        const Component* current = device.Current();
        if (!current) {
            error = "Error reading 'IdentityCode'";
            return;
        }
        error.clear();
        *code = current->code;
        *major = current->major;
        *minor = current->minor;
        *patch = current->patch;
        *state = current->state;
        *number = current->number;
    }

    const Component* Current() const {
        if (!enumerating || components.empty()) return nullptr;
        if (endless) return &components[cursor % components.size()];
        return cursor < components.size() ? &components[cursor] : nullptr;
    }
};

FakeDevice ModernDrive() {
    FakeDevice device;
    device.components = {
        {12, 1, 0, 0, 0, 0, {{1, 1}, {2, 6871}}},    // hardware
        {77, 5, 0, 0, 0, 0, {{1, 2}}},               // boot
        {1234, 2, 3, 1, 2, 7, {{1, 3}, {2, 6871}}},  // firmware
        {300, 1, 1, 0, 0, 0, {{1, 4}}},              // another component
        {301, 1, 0, 0, 0, 0, {}},                    // no attributes
    };
    return device;
}

TEST(CompatCheckerText, ParsesTheTwoIdentityTexts) {
    FakeDevice device;
    CCompatChecker checker;
    EXPECT_EQ(checker.InitFromText("Hardware 12 v.1.0.0", "Firmware 1234 v.2.3.1-beta7", &device,
                                   FakeDevice::Browse, FakeDevice::Identity),
              "");
    EXPECT_EQ(checker.GetState(), CCompatChecker::kStateFromText);
    EXPECT_TRUE(checker.HasDeviceLink());
    EXPECT_EQ(checker.GetHardwareIdentity().code, 12);
    EXPECT_EQ(checker.GetHardwareIdentity().version.minor, 0);
    EXPECT_EQ(checker.GetFirmwareIdentity().GetCodeVersionText(), "1234 v. 2.3.1-beta7");
    EXPECT_FALSE(checker.GetBootIdentity().IsValid());
    ASSERT_NE(checker.GetSoftwareIdentity(), nullptr);
    EXPECT_EQ(checker.GetSoftwareIdentity()->code, 1234);
    EXPECT_TRUE(device.log.empty());  // the texts need no questions

    // A text that cannot be read is reported and leaves its identity invalid, never half-read.
    std::string error = checker.InitFromText("Hardware 12 v.1.0.0", "Firmware 1234 v.2.x", &device,
                                             FakeDevice::Browse, FakeDevice::Identity);
    EXPECT_NE(error.find("firmware"), std::string::npos) << error;
    EXPECT_EQ(checker.GetHardwareIdentity().code, 12);
    EXPECT_EQ(checker.GetFirmwareIdentity().code, -1);
    EXPECT_EQ(checker.GetSoftwareIdentity(), nullptr);
}

TEST(CompatCheckerDevice, ReadsTheComponentTreeThroughTheCallbacks) {
    FakeDevice device = ModernDrive();
    CCompatChecker checker;
    ASSERT_EQ(checker.InitFromDevice(&device, FakeDevice::Browse, FakeDevice::Identity), "");
    EXPECT_EQ(checker.GetState(), CCompatChecker::kStateFromDevice);
    ASSERT_GE(device.log.size(), 3u);
    EXPECT_EQ(device.log[0], "1001:0:-1");  // select the main description, no response wanted
    EXPECT_EQ(device.log[1], "310:-1:-1");
    EXPECT_EQ(device.log.back(), "330:-1:-1");

    EXPECT_EQ(checker.GetHardwareIdentity().GetCompactText(), "12,1,0,0,0,0,1,1,2,6871");
    EXPECT_EQ(checker.GetBootIdentity().GetCompactText(), "77,5,0,0,0,0,1,2");
    EXPECT_EQ(checker.GetFirmwareIdentity().GetCompactText(), "1234,2,3,1,2,7,1,3,2,6871");
    ASSERT_EQ(checker.GetSideComponents().size(), 2u);
    EXPECT_EQ(checker.GetSideComponents()[0].code, 300);
    EXPECT_EQ(checker.GetSideComponents()[1].GetRole(), -1);
    EXPECT_EQ(checker.GetSoftwareIdentity(), &checker.GetFirmwareIdentity());

    std::string xml;
    const_cast<CXmlDocument&>(checker.GetComponentsDocument()).GetXml(xml);
    const std::string head =
        "<Components><Component code=\"12\"><Version major=\"1\" minor=\"0\" patch=\"0\"/><Attributes>"
        "<Attribute code=\"1\" value=\"1\"/><Attribute code=\"2\" value=\"6871\"/></Attributes></Component>";
    EXPECT_EQ(xml.rfind(head, 0), 0u) << xml;
    EXPECT_NE(xml.find("<Component code=\"301\"><Version major=\"1\" minor=\"0\" patch=\"0\"/></Component>"),
              std::string::npos)
        << xml;
}

TEST(CompatCheckerDevice, ErrorsOfTheDeviceArePassedOn) {
    FakeDevice refusing = ModernDrive();
    refusing.selectError = "Errore scrittura VersionBrowseCommand 1001: -5";
    CCompatChecker checker;
    EXPECT_EQ(checker.InitFromDevice(&refusing, FakeDevice::Browse, FakeDevice::Identity),
              refusing.selectError);
    EXPECT_EQ(checker.GetSoftwareIdentity(), nullptr);
    EXPECT_EQ(refusing.log.size(), 1u);

    FakeDevice empty;
    EXPECT_EQ(checker.InitFromDevice(&empty, FakeDevice::Browse, FakeDevice::Identity),
              "Error reading 'IdentityCode'");
    EXPECT_FALSE(checker.GetHardwareIdentity().IsValid());

    // A device that never reports the end of its list is cut off with an error.
    FakeDevice endless = ModernDrive();
    endless.endless = true;
    std::string error = checker.InitFromDevice(&endless, FakeDevice::Browse, FakeDevice::Identity);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(checker.GetHardwareIdentity().code, 12);
}

TEST(CompatCheckerLegacy, BuildsMajorOnlyIdentities) {
    CCompatChecker checker;
    checker.InitFromLegacy(12, 3, 1234, 4, 9, 77, 5, 0);
    EXPECT_FALSE(checker.HasDeviceLink());
    EXPECT_EQ(checker.GetHardwareIdentity().GetCompactText(), "12,3,-1,-1,0,0,1,1");
    EXPECT_EQ(checker.GetFirmwareIdentity().GetCompactText(), "1234,4,-1,-1,2,9,1,3");
    EXPECT_EQ(checker.GetBootIdentity().GetCompactText(), "77,5,-1,-1,0,0,1,2");
    EXPECT_EQ(checker.GetSoftwareIdentity()->code, 1234);
    std::string xml;
    const_cast<CXmlDocument&>(checker.GetComponentsDocument()).GetXml(xml);
    EXPECT_EQ(
        xml,
        "<Components>"
        "<Component code=\"12\"><Version major=\"3\" minor=\"-1\" patch=\"-1\"/><Attributes>"
        "<Attribute code=\"1\" value=\"1\"/></Attributes></Component>"
        "<Component code=\"77\"><Version major=\"5\" minor=\"-1\" patch=\"-1\"/><Attributes>"
        "<Attribute code=\"1\" value=\"2\"/></Attributes></Component>"
        "<Component code=\"1234\"><Version major=\"4\" minor=\"-1\" patch=\"-1\"><Prerelease state=\"2\" "
        "version=\"9\"/></Version><Attributes><Attribute code=\"1\" value=\"3\"/></Attributes></Component>"
        "</Components>");

    // A node that runs its boot loader reports the boot values as firmware: no firmware identity.
    checker.InitFromLegacy(12, 3, 77, 5, 4, 77, 5, 4);
    EXPECT_FALSE(checker.GetFirmwareIdentity().IsValid());
    EXPECT_EQ(checker.GetBootIdentity().GetCompactText(), "77,5,-1,-1,2,4,1,2");
    EXPECT_EQ(checker.GetSoftwareIdentity(), &checker.GetBootIdentity());
}

TEST(CompatCheckerMajorOnly, MarksOnlyPlainReleasesOfThatMajor) {
    struct Case {
        const char* name;
        FakeDevice::Component boot;
        uint32_t major;
        bool marked;
    } cases[] = {
        {"plain", {77, 5, 0, 0, 0, 0, {{1, 2}}}, 5, true},
        {"other major", {77, 5, 0, 0, 0, 0, {{1, 2}}}, 6, false},
        {"minor set", {77, 5, 1, 0, 0, 0, {{1, 2}}}, 5, false},
        {"patch set", {77, 5, 0, 2, 0, 0, {{1, 2}}}, 5, false},
        {"prerelease", {77, 5, 0, 0, 2, 3, {{1, 2}}}, 5, false},
        {"invalid code", {0, 5, 0, 0, 0, 0, {{1, 2}}}, 5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDevice device;
        device.components = {{12, 2, 0, 0, 0, 0, {{1, 1}}}, c.boot, {1234, 2, 3, 1, 0, 0, {{1, 3}}}};
        CCompatChecker checker;
        ASSERT_EQ(checker.InitFromDevice(&device, FakeDevice::Browse, FakeDevice::Identity), "");
        checker.SetBootMajorOnly(c.major);
        EXPECT_EQ(checker.GetBootIdentity().version.majorOnly, c.marked);
        std::string xml;
        const_cast<CXmlDocument&>(checker.GetComponentsDocument()).GetXml(xml);
        bool written = xml.find("<Component code=\"" + std::to_string(c.boot.code) +
                                "\"><Version major=\"5\" "
                                "minor=\"-1\" patch=\"-1\"/>") != std::string::npos;
        EXPECT_EQ(written, c.marked) << xml;
        // The hardware identity is left alone by the boot correction and has its own.
        EXPECT_FALSE(checker.GetHardwareIdentity().version.majorOnly);
        checker.SetHardwareMajorOnly(2);
        EXPECT_TRUE(checker.GetHardwareIdentity().version.majorOnly);
    }
    // Already major-only stays as it is; the text form is unaffected by a second call.
    CCompatChecker legacy;
    legacy.InitFromLegacy(12, 3, 1234, 4, 0, 77, 5, 0);
    legacy.SetHardwareMajorOnly(3);
    EXPECT_EQ(legacy.GetHardwareIdentity().GetCompactText(), "12,3,-1,-1,0,0,1,1");
}

TEST(CompatCheckerNames, SetComponentNameNamesEveryComponentOfTheCode) {
    FakeDevice device = ModernDrive();
    device.components.push_back({1234, 2, 3, 1, 2, 7, {{1, 4}}});  // same code as a side component
    CCompatChecker checker;
    ASSERT_EQ(checker.InitFromDevice(&device, FakeDevice::Browse, FakeDevice::Identity), "");
    CIdentity named = checker.GetFirmwareIdentity();
    named.name = "Servo firmware";
    checker.SetComponentName(named);
    EXPECT_EQ(checker.GetFirmwareIdentity().name, "Servo firmware");
    EXPECT_EQ(checker.GetBootIdentity().name, "");
    std::string xml;
    const_cast<CXmlDocument&>(checker.GetComponentsDocument()).GetXml(xml);
    size_t first = xml.find("<Component code=\"1234\" name=\"Servo firmware\">");
    ASSERT_NE(first, std::string::npos) << xml;
    EXPECT_NE(xml.find("<Component code=\"1234\" name=\"Servo firmware\">", first + 1), std::string::npos)
        << xml;
}

TEST(CompatCheckerLoad, LoadComponentsDerivesIdentitiesAndNestedComponents) {
    CXmlDocument document;
    ASSERT_EQ(document.LoadXml(
                  "<List>"
                  "<Component code=\"12\"><Version major=\"1\" minor=\"0\" patch=\"0\"/><Attributes>"
                  "<Attribute code=\"1\" value=\"1\"/></Attributes></Component>"
                  "<Component code=\"900\"><Attributes><Attribute code=\"1\" value=\"4\"/></Attributes>"
                  "<Components><Component code=\"901\"><Components><Component code=\"902\"/>"
                  "</Components></Component></Components></Component>"
                  "</List>"),
              S_OK);
    CCompatChecker checker;
    checker.LoadComponents(&document.Root());
    EXPECT_EQ(checker.GetHardwareIdentity().code, 12);
    ASSERT_EQ(checker.GetSideComponents().size(), 1u);
    ASSERT_EQ(checker.GetNestedComponents().size(), 2u);
    EXPECT_EQ(checker.GetNestedComponents()[0].code, 901);
    EXPECT_EQ(checker.GetNestedComponents()[1].code, 902);
    EXPECT_EQ(checker.GetComponentsDocument().Root().Name(), "Components");
    checker.Reset();
    EXPECT_TRUE(checker.GetNestedComponents().empty());
    EXPECT_FALSE(checker.GetHardwareIdentity().IsValid());
}

}  // namespace
