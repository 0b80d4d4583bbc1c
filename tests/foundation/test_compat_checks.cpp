#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "foundation/CompatChecker.h"
#include "foundation/DBI.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

using namespace foundation;

namespace {

// A device with three component descriptions whose components may hold sub-components, answering
// the version-browse, identity and key requests as the channel drivers relay them.
struct TreeDevice {
    struct Component {
        uint32_t code, major, minor, patch, state, number;
        std::vector<std::pair<int, int>> attributes;  // code, value
        std::vector<Component> children;
    };
    struct Key {
        int32_t code, setby;
        uint32_t major, minor, patch, state, number;
    };
    std::vector<Component> descriptions[3];
    std::string selectError[3];
    std::vector<Key> keys;
    std::vector<std::string> log;

    int selected = 0;
    // One level per running enumeration: the list and the cursor in it.
    std::vector<std::pair<const std::vector<Component>*, size_t>> levels;

    static TreeDevice& Of(void* context) { return *static_cast<TreeDevice*>(context); }

    const Component* Current() const {
        if (levels.empty()) return nullptr;
        const auto& [list, cursor] = levels.back();
        return cursor < list->size() ? &(*list)[cursor] : nullptr;
    }

    static void Browse(std::string& error, void* context, int command, int parameter, int* response) {
        TreeDevice& device = Of(context);
        device.log.push_back(std::to_string(command) + ":" + std::to_string(parameter));
        error.clear();
        switch (command) {
            case kBrowseSelectDescription:
                if (parameter < 0 || parameter > 2) {
                    error = "bad description";
                    return;
                }
                error = device.selectError[parameter];
                if (error.empty()) device.selected = parameter;
                return;
            case kBrowseBeginEnumeration: {
                const Component* current = device.Current();
                device.levels.emplace_back(
                    current ? &current->children : &device.descriptions[device.selected], 0);
                return;
            }
            case kBrowseNextComponent:
                if (!device.levels.empty()) ++device.levels.back().second;
                return;
            case kBrowseEndEnumeration:
                if (!device.levels.empty()) device.levels.pop_back();
                return;
            case kBrowseBeginKeys:
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
            case kBrowseReadAttributeValue:
                if (const Component* current = device.Current()) {
                    for (const auto& [code, value] : current->attributes) {
                        if (code == parameter) {
                            *response = value;
                            return;
                        }
                    }
                }
                error = "no value";
                return;
            default:
                error = "unknown command";
                return;
        }
    }

    static void Identity(std::string& error, void* context, uint32_t* code, uint32_t* major, uint32_t* minor,
                         uint32_t* patch, uint32_t* state, uint32_t* number) {
        const Component* current = Of(context).Current();
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

    static void ReadKey(std::string& error, void* context, int32_t code, int32_t* setby, uint32_t* major,
                        uint32_t* minor, uint32_t* patch, uint32_t* state, uint32_t* number) {
        TreeDevice& device = Of(context);
        device.log.push_back("key:" + std::to_string(code));
        for (const Key& key : device.keys) {
            if (key.code != code) continue;
            error.clear();
            *setby = key.setby;
            *major = key.major;
            *minor = key.minor;
            *patch = key.patch;
            *state = key.state;
            *number = key.number;
            return;
        }
        error = "no key";
    }
};

// Hardware 12 v. 1.0.0, boot 77 v. 5, firmware 1234 v. 2.3.1-beta7, component 300 v. 1.1.0 with
// a nested component 400 v. 3.0.0 holding 401 v. 1.0.0.
TreeDevice Drive() {
    TreeDevice device;
    device.descriptions[0] = {
        {12, 1, 0, 0, 0, 0, {{1, 1}, {2, 6871}}, {}},
        {77, 5, 0, 0, 0, 0, {{1, 2}}, {}},
        {1234, 2, 3, 1, 2, 7, {{1, 3}, {2, 6871}}, {}},
        {300, 1, 1, 0, 0, 0, {{1, 4}}, {{400, 3, 0, 0, 0, 0, {}, {{401, 1, 0, 0, 0, 0, {}, {}}}}}},
    };
    device.descriptions[1] = {{500, 1, 0, 0, 0, 0, {}, {{501, 2, 0, 0, 0, 0, {}, {}}}}};
    device.descriptions[2] = {{600, 4, 0, 0, 0, 0, {}, {}}};
    return device;
}

// A drive object as a refresh sees it.
struct RecordingDrive : CCompatDrive {
    std::vector<std::string> calls;
    int readResult = 0;
    uint32_t serial = 0;
    void PauseBackground() override { calls.push_back("pause"); }
    void ResumeBackground() override { calls.push_back("resume"); }
    int ReadCellU32(const std::string& name, uint32_t& value) override {
        calls.push_back("read " + name);
        value = 0xDEAD;  // what a failed read may leave behind
        if (readResult == 0) value = serial;
        return readResult;
    }
};

struct RecordingTree : CCompatTreeCtrl {
    std::vector<std::string> items;  // "parent>text"
    Item InsertItem(const std::string& text, Item parent, const CXmlNode* data) override {
        items.push_back(std::to_string(parent) + ">" + text + (data ? "" : " (no data)"));
        return static_cast<Item>(items.size());
    }
};

void Parse(CXmlDocument& document, const std::string& xml) {
    EXPECT_EQ(document.LoadXml(xml), S_OK) << xml;
}

// The checker of a device refreshed from Drive().
struct RefreshedChecker : ::testing::Test {
    TreeDevice device = Drive();
    CCompatChecker checker;
    RecordingDrive drive;
    void SetUp() override {
        ASSERT_EQ(checker.InitFromDevice(&device, TreeDevice::Browse, TreeDevice::Identity), "");
        ASSERT_EQ(checker.Refresh(&drive), "");
    }
};

TEST_F(RefreshedChecker, ReadsAllDescriptionsWithNestedComponents) {
    EXPECT_EQ(checker.GetState(), CCompatChecker::kStateRefreshed);
    EXPECT_EQ(checker.GetHardwareIdentity().code, 12);
    EXPECT_EQ(checker.GetBootIdentity().code, 77);
    EXPECT_EQ(checker.GetFirmwareIdentity().code, 1234);
    ASSERT_EQ(checker.GetSideComponents().size(), 1u);
    std::vector<int32_t> nested;
    for (const CIdentity& identity : checker.GetNestedComponents()) nested.push_back(identity.code);
    EXPECT_EQ(nested, (std::vector<int32_t>{400, 401}));
    std::vector<int32_t> further;
    for (const CIdentity& identity : checker.GetFurtherComponents()) further.push_back(identity.code);
    EXPECT_EQ(further, (std::vector<int32_t>{500, 501, 600}));
    EXPECT_EQ(checker.GetDocument(1).Root().Name(), "Components");
    // The device is left on its main description.
    EXPECT_EQ(device.log.back(), "1001:0");
    EXPECT_EQ(device.selected, 0);
    EXPECT_TRUE(device.levels.empty());
}

TEST_F(RefreshedChecker, RefreshIfNeededKeepsARefreshedChecker) {
    size_t browsed = device.log.size();
    EXPECT_EQ(checker.RefreshIfNeeded(&drive), "");
    EXPECT_EQ(device.log.size(), browsed);
    EXPECT_EQ(drive.calls.size(), 3u);
}

TEST(CompatRefresh, ReadsTheSerialNumberWithBackgroundPollingPaused) {
    TreeDevice device = Drive();
    CCompatChecker checker;
    ASSERT_EQ(checker.InitFromDevice(&device, TreeDevice::Browse, TreeDevice::Identity), "");
    RecordingDrive drive;
    drive.serial = 4711;
    EXPECT_EQ(checker.Refresh(&drive), "");
    EXPECT_EQ(drive.calls, (std::vector<std::string>{"pause", "read System.Info.SerialNumber", "resume"}));
    EXPECT_EQ(checker.GetSerialNumber(), 4711u);

    drive.readResult = -308;
    checker.Refresh(&drive);
    EXPECT_EQ(checker.GetSerialNumber(), 0u);
}

TEST(CompatRefresh, PassesOnTheErrorOfTheLastSelection) {
    TreeDevice device = Drive();
    device.selectError[2] = "description 2 missing";
    CCompatChecker checker;
    ASSERT_EQ(checker.InitFromDevice(&device, TreeDevice::Browse, TreeDevice::Identity), "");
    // The failing further description is skipped; the final selection of the main one decides.
    EXPECT_EQ(checker.Refresh(nullptr), "");
    EXPECT_EQ(checker.GetFurtherComponents().size(), 2u);

    device.selectError[0] = "device gone";
    EXPECT_EQ(checker.Refresh(nullptr), "device gone");
    EXPECT_FALSE(checker.GetHardwareIdentity().IsValid());
}

TEST(CompatRefresh, WithoutDeviceLinkKeepsTheLegacyIdentities) {
    CCompatChecker checker;
    checker.InitFromLegacy(12, 1, 1234, 2, 0, 77, 5, 0);
    EXPECT_EQ(checker.Refresh(nullptr), "");
    EXPECT_EQ(checker.GetState(), CCompatChecker::kStateRefreshed);
    EXPECT_EQ(checker.GetFirmwareIdentity().code, 1234);
}

TEST_F(RefreshedChecker, ParametersFileRequirements) {
    struct Case {
        const char* compatibility;
        const char* expected;
    } cases[] = {
        {R"(<COMPATIBILITY/>)", ""},
        {R"(<COMPATIBILITY FormatType="1"><DATA CmpKey="1234" Major="2" Minor="3" Patch="0"/></COMPATIBILITY>)",
         ""},
        // 2.3.1 release is newer than the device's 2.3.1-beta7.
        {R"(<COMPATIBILITY><DATA CmpKey="1234" Major="2" Minor="3" Patch="1"/></COMPATIBILITY>)",
         "Parameters file requires 1234 v. 2.3.1, device has Firmware 1234 v. 2.3.1-beta7"},
        // Major only: 2 is not newer than 2.3.1.
        {R"(<COMPATIBILITY><DATA CmpKey="1234" Major="2"/></COMPATIBILITY>)", ""},
        {R"(<COMPATIBILITY><DATA CmpKey="401" Major="1" Minor="0" Patch="1"/></COMPATIBILITY>)",
         "Parameters file requires 401 v. 1.0.1, device has 401 v. 1.0.0"},
        {R"(<COMPATIBILITY><DATA CmpKey="300" Major="1" Minor="0" Patch="5"/></COMPATIBILITY>)", ""},
        // The first failure ends the check, even when later items would fail differently.
        {R"(<COMPATIBILITY><DATA CmpKey="999" Major="1"/><DATA CmpKey="12" Major="9"/></COMPATIBILITY>)",
         "Parameters file requires 999 v. 1, device hasn't it"},
        {R"(<COMPATIBILITY><DATA CmpKey="12" Major="9"/><DATA CmpKey="999" Major="1"/></COMPATIBILITY>)",
         "Parameters file requires 12 v. 9, device has Hardware 12 v. 1.0.0"},
        // Further descriptions do not take part.
        {R"(<COMPATIBILITY><DATA CmpKey="600" Major="1"/></COMPATIBILITY>)",
         "Parameters file requires 600 v. 1, device hasn't it"},
        {R"(<COMPATIBILITY FormatType="2"><DATA CmpKey="12" Major="1"/></COMPATIBILITY>)",
         "COMPATIBILITY FormatType 2 not supported"},
        {R"(<COMPATIBILITY FormatType="2"/>)", "COMPATIBILITY FormatType 2 not supported"},
    };
    for (const Case& c : cases) {
        CXmlDocument document;
        Parse(document, c.compatibility);
        EXPECT_EQ(checker.CheckParametersFile(&document.Root()), c.expected) << c.compatibility;
    }
    EXPECT_EQ(checker.CheckParametersFile(nullptr), "");
}

TEST(CompatBlock, ReadsBothFormats) {
    struct Case {
        const char* xml;
        std::vector<std::string> compact;  // CIdentity::GetCompactText of each identity
    } cases[] = {
        {R"(<P><COMPATIBILITY><DATA MinRev="3" HwCode="12" SwCode="0"/></COMPATIBILITY></P>)",
         {"12,3,-1,-1,0,0,1,1"}},
        {R"(<P><COMPATIBILITY><DATA MinRev="4" HwCode="0" SwCode="1234"/></COMPATIBILITY></P>)",
         {"1234,4,-1,-1,0,0,1,3"}},
        {R"(<P><COMPATIBILITY><DATA MinRev="4" HwCode="0" SwCode="0"/></COMPATIBILITY></P>)", {}},
        {R"(<P><COMPATIBILITY FormatType="1"><DATA CmpKey="300" MinRev="2"/></COMPATIBILITY></P>)",
         {"300,2,-1,-1,0,0"}},
        {R"(<P><COMPATIBILITY FormatType="1"><DATA CmpKey="300" major="2" minor="1" patch="4" prestatus="3" prenumber="2"/></COMPATIBILITY></P>)",
         {"300,2,1,4,3,2"}},
        {R"(<P><COMPATIBILITY FormatType="1"><DATA CmpKey="300" major="2" minor="1" prestatus="-3"/></COMPATIBILITY></P>)",
         {"300,2,-1,-1,0,0"}},
        {R"(<P><COMPATIBILITY FormatType="1"><DATA CmpKey="0" MinRev="2"/><DATA CmpKey="40000" MinRev="2"/><OTHER CmpKey="5"/></COMPATIBILITY></P>)",
         {}},
        {R"(<P><NOTHING/></P>)", {}},
    };
    for (const Case& c : cases) {
        CXmlDocument document;
        Parse(document, c.xml);
        std::vector<CIdentity> identities;
        CCompatChecker::ReadCompatibilityData(&document.Root(), identities);
        std::vector<std::string> compact;
        for (const CIdentity& identity : identities) compact.push_back(identity.GetCompactText());
        EXPECT_EQ(compact, c.compact) << c.xml;
    }
    std::vector<CIdentity> none;
    CCompatChecker::ReadCompatibilityData(nullptr, none);
    EXPECT_TRUE(none.empty());
}

TEST_F(RefreshedChecker, DeviceRequirementsAgainstTheSourceOfTheParameters) {
    // The checker holds the components of the device the file came from.
    CCompatChecker source;
    source.LoadComponents(&checker.GetComponentsDocument().Root());
    struct Case {
        const char* xml;
        const char* expected;
    } cases[] = {
        {R"(<P><COMPATIBILITY FormatType="1"><DATA CmpKey="1234" major="2" minor="3" patch="1" prestatus="2" prenumber="7"/></COMPATIBILITY></P>)",
         ""},
        {R"(<P><COMPATIBILITY FormatType="1"><DATA CmpKey="1234" major="2" minor="3" patch="1" prestatus="2" prenumber="8"/></COMPATIBILITY></P>)",
         "Device requires 1234 v. 2.3.1-beta8, the parameters come from a device with Firmware 1234 v. "
         "2.3.1-beta7"},
        {R"(<P><COMPATIBILITY><DATA MinRev="1" HwCode="13" SwCode="0"/><DATA MinRev="9" HwCode="12" SwCode="0"/></COMPATIBILITY></P>)",
         "Device requires Hardware 13 v. 1, the parameters come from a different device."},
        {R"(<P><COMPATIBILITY><DATA MinRev="2" HwCode="12" SwCode="0"/></COMPATIBILITY></P>)",
         "Device requires Hardware 12 v. 2, the parameters come from a device with Hardware 12 v. 1.0.0"},
        {R"(<P/>)", ""},
    };
    for (const Case& c : cases) {
        CXmlDocument document;
        Parse(document, c.xml);
        EXPECT_EQ(source.CheckDeviceRequirements(&document.Root()), c.expected) << c.xml;
    }
}

const char* const kPackage = R"(<Firmware file="fw.bin">
  <Component>
    <Identity code="1234"><Version major="2" minor="4" patch="0"/></Identity>
    <Components>
      <Component><Identity code="300"><Version major="1" minor="1" patch="0"/></Identity>
        <Components><Component code="401"><Version major="1" minor="0" patch="0"/></Component></Components>
      </Component>
    </Components>
  </Component>
  <Compatibility>%s</Compatibility>
</Firmware>)";

std::string Package(const std::string& keys) {
    std::string text = kPackage;
    text.replace(text.find("%s"), 2, keys);
    return text;
}

TEST_F(RefreshedChecker, FirmwarePackageCompatibilityEntries) {
    struct Case {
        std::string keys;
        const char* expected;
    } cases[] = {
        {"", ""},
        {R"(<Key setby="1234" code="12"><Version major="1" minor="-1" patch="-1"/></Key>)", ""},
        // A component the device lacks passes.
        {R"(<Key setby="1234" code="999"><Version major="9" minor="-1" patch="-1"/></Key>)", ""},
        {R"(<Key setby="1234" code="12"><Version major="2" minor="-1" patch="-1"/></Key>)",
         "firmware:Firmware 1234 requires Hardware 12 v. 2, device has Hardware 12 v. 1.0.0"},
        // A setter the device does not know has no role word.
        {R"(<Key setby="55" code="77"><Version major="6" minor="-1" patch="-1"/></Key><Key setby="1234" code="12"><Version major="2"/></Key>)",
         "firmware:55 requires Boot 77 v. 6, device has Boot 77 v. 5.0.0"},
    };
    for (const Case& c : cases) {
        CXmlDocument package;
        Parse(package, Package(c.keys));
        EXPECT_EQ(checker.CheckFirmware(package), c.expected) << c.keys;
    }
}

TEST_F(RefreshedChecker, FirmwarePackageComponentsAgainstTheDeviceKeys) {
    CXmlDocument package;
    Parse(package, Package(""));
    // Without a key source every component passes.
    EXPECT_EQ(checker.CheckFirmware(package), "");

    checker.SetKeyCallback(TreeDevice::ReadKey);
    struct Case {
        std::vector<TreeDevice::Key> keys;
        const char* expected;
    } cases[] = {
        {{}, ""},
        {{{1234, 12, 2, 4, 0, 0, 0}}, ""},
        {{{1234, 12, 2, 5, 0, 0, 0}},
         "device:Hardware 12 requires Firmware 1234 v. 2.5.0, found Firmware 1234 v. 2.4.0"},
        // A key nobody set is met.
        {{{1234, 0, 9, 0, 0, 0, 0}}, ""},
        {{{401, 77, 1, 0, 0, 1, 1}}, ""},  // 1.0.0 release is newer than 1.0.0-alpha1
        {{{401, 77, 1, 0, 1, 0, 0}}, "device:Boot 77 requires 401 v. 1.0.1, found 401 v. 1.0.0"},
        {{{300, 1234, 1, 2, 0, 0, 0}},
         "device:Firmware 1234 requires Component 300 v. 1.2.0, found Component 300 v. 1.1.0"},
    };
    for (const Case& c : cases) {
        TreeDevice keyed = Drive();
        keyed.keys = c.keys;
        CCompatChecker local;
        ASSERT_EQ(local.InitFromDevice(&keyed, TreeDevice::Browse, TreeDevice::Identity), "");
        ASSERT_EQ(local.Refresh(nullptr), "");
        local.SetKeyCallback(TreeDevice::ReadKey);
        EXPECT_EQ(local.CheckFirmware(package), c.expected);
    }
}

TEST_F(RefreshedChecker, KeysAreAskedOnceAndForgottenOnReset) {
    device.keys = {{1234, 12, 1, 0, 0, 0, 0}};
    checker.SetKeyCallback(TreeDevice::ReadKey);
    const CCompatKey* key = checker.GetKey(1234);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->setby, 12);
    EXPECT_EQ(key->minimum.GetCodeVersionText(), "1234 v. 1.0.0");
    EXPECT_EQ(device.log[device.log.size() - 2], "340:-1");
    size_t asked = device.log.size();
    EXPECT_EQ(checker.GetKey(1234), key);
    EXPECT_EQ(device.log.size(), asked);
    EXPECT_EQ(checker.GetKey(999), nullptr);
    EXPECT_EQ(checker.GetKey(0), nullptr);

    checker.Reset();
    asked = device.log.size();
    EXPECT_NE(checker.GetKey(1234), nullptr);
    EXPECT_GT(device.log.size(), asked);
}

TEST(CompatIdentityElement, WritesEveryFieldAndTheDescription) {
    CIdentity identity;
    ASSERT_TRUE(identity.ParseCompactText("1234,2,3,1,2,7,1,3"));
    identity.name = "Axis";
    CXmlDocument document;
    CCompatChecker::WriteIdentity(identity, &document.Root());
    std::string xml;
    document.GetXml(xml);
    EXPECT_NE(xml.find(R"(Role="3" Code="1234" Major="2" Minor="3" Patch="1" PreStatus="2" PreNumber="7")"),
              std::string::npos)
        << xml;
    EXPECT_EQ(document.Root().Value(), "Firmware 1234 v. 2.3.1-beta7 - Axis");

    CXmlDocument plain;
    CCompatChecker::WriteIdentity(CIdentity(), &plain.Root());
    EXPECT_EQ(plain.Root().GetAttributeInt("Role", 0), -1);
    EXPECT_EQ(plain.Root().Value(), "");
}

TEST_F(RefreshedChecker, TreeAndReportShowTheNestedComponents) {
    RecordingTree tree;
    checker.FillTree(&tree, 0, nullptr);
    EXPECT_EQ(tree.items, (std::vector<std::string>{
                              "0>Hardware 12 v. 1.0.0",
                              "0>Boot 77 v. 5.0.0",
                              "0>Firmware 1234 v. 2.3.1-beta7",
                              "0>Component 300 v. 1.1.0",
                              "4>400 v. 3.0.0",
                              "5>401 v. 1.0.0",
                          }));

    std::string report = "Device\r\n";
    checker.AppendReport(report, 2, nullptr);
    EXPECT_EQ(report,
              "Device\r\n"
              "  Hardware 12 v. 1.0.0 Varno\r\n"
              "  Boot 77 v. 5.0.0\r\n"
              "  Firmware 1234 v. 2.3.1-beta7 Varno\r\n"
              "  Component 300 v. 1.1.0\r\n"
              "     400 v. 3.0.0\r\n"
              "        401 v. 1.0.0\r\n");

    RecordingTree further;
    checker.FillTree(&further, 7, &checker.GetDocument(1).Root());
    EXPECT_EQ(further.items, (std::vector<std::string>{"7>500 v. 1.0.0", "1>501 v. 2.0.0"}));
}

TEST(CompatSetIdentities, ReplacesTheTree) {
    CCompatChecker checker;
    checker.InitFromLegacy(12, 1, 1234, 2, 0, 77, 5, 0);
    CIdentity firmware, hardware;
    ASSERT_TRUE(firmware.ParseCompactText("2000,3,1,0,0,0,1,3"));
    ASSERT_TRUE(hardware.ParseCompactText("13,2,0,0,0,0,1,1"));
    checker.SetIdentities(firmware, hardware);
    EXPECT_FALSE(checker.GetBootIdentity().IsValid());
    EXPECT_EQ(checker.GetFirmwareIdentity().code, 2000);
    std::string report;
    checker.AppendReport(report, 0, nullptr);
    EXPECT_EQ(report, "Firmware 2000 v. 3.1.0\r\nHardware 13 v. 2.0.0\r\n");
}

TEST(CompatDbi, HoldsItsMembers) {
    CDBI dbi;
    dbi.m_strName = "drive";
    dbi.m_document.Root().SetName("Data");
    EXPECT_EQ(dbi.m_version.built, 1);
    EXPECT_EQ(dbi.m_document.Root().Name(), "Data");
}

}  // namespace
