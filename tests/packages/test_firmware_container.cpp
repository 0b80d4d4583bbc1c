// Firmware containers, legacy and XML-wrapped firmware files read into their info document.

#include <gtest/gtest.h>

#include "PackageTestSupport.h"
#include "foundation/XmlNode.h"
#include "packages/FirmwareContainer.h"

using namespace foundation;
using namespace engine;
using namespace packages;
using namespace package_test;

namespace {

class RecordingTree : public CFirmwareTreeCtrl {
  public:
    void DeleteAllItems() override { lines.clear(); }
    Item InsertItem(const std::string& text, Item parent, const CXmlNode* data) override {
        int depth = parent == 0 ? 0 : depth_[size_t(parent - 1)] + 1;
        depth_.push_back(depth);
        lines.push_back(std::string(size_t(depth) * 2, ' ') + text + (data ? " *" : ""));
        return Item(depth_.size());
    }
    std::vector<std::string> lines;

  private:
    std::vector<int> depth_;
};

Header4::Component FirmwareComponent() {
    Header4::Component c;
    uint16_t id[6] = {1234, 2, 3, 1, 0, 0};
    std::copy(id, id + 6, c.id);
    c.attributes = {{1, 3}, {2, 6868}, {7, 9}};
    c.metaType = 5;
    c.meta = {1, 2, 3};
    Header4::Component sub;
    uint16_t subId[6] = {55, 1, 0, 4, 2, 7};
    std::copy(subId, subId + 6, sub.id);
    sub.attributes = {{1, 4}};
    c.subs = {sub, sub};
    c.subs[1].id[0] = 56;
    return c;
}

std::vector<uint8_t> Header4Full() {
    return Header4()
        .Identity(FirmwareComponent())
        .Compatibility({{1234, 77, 5, 0, 0}})
        .Other(9)
        .Hardware({410, 411})
        .Manage(1, 30000, 3000, 4000, 5000)
        .Build();
}

const std::vector<uint8_t> kBinary = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02};

class FirmwareContainerTest : public TempFolder {};

TEST_F(FirmwareContainerTest, Version4ContainerInBothByteOrders) {
    for (uint8_t flags : {uint8_t(0x11), uint8_t(0x12), uint8_t(0x10)}) {
        SCOPED_TRACE(int(flags));
        auto file = Write("fw.bin", Container({{22, 2, Header4Full()}, {57, 2, kBinary}}, flags));
        CFirmwareContainer fw;
        ASSERT_EQ(fw.ReadFirmwareInfo(file, true, true), "");
        EXPECT_EQ(fw.IsBigEndian(), flags == 0x10);
        EXPECT_EQ(fw.Root().Name(), "Firmware");
        EXPECT_EQ(fw.Root().GetAttributeInt("header", 0), 4);
        EXPECT_EQ(fw.Root().GetAttributeInt("size", 0), 0x1234);
        ASSERT_TRUE(fw.HasBinary());
        EXPECT_TRUE(fw.IsExtract());
        ASSERT_EQ(fw.BinarySize(), kBinary.size());
        EXPECT_EQ(std::vector<uint8_t>(fw.BinaryStart(), fw.BinaryStart() + fw.BinarySize()), kBinary);
        EXPECT_EQ(fw.HeaderOffset(), 64u);
        int t[4];
        EXPECT_EQ(fw.GetTimeouts(t[0], t[1], t[2], t[3]), 0);
        EXPECT_EQ(std::vector<int>(t, t + 4), (std::vector<int>{30000, 3000, 4000, 5000}));

        // What the engine's firmware threads are handed: the binary part and the time-outs.
        CFirmwareImage image;
        fw.FillImage(image);
        EXPECT_EQ(std::vector<uint8_t>(image.Data(), image.Data() + image.Size()), kBinary);
        uint32_t u[4];
        EXPECT_EQ(image.GetTimeouts(&u[0], &u[1], &u[2], &u[3]), 0);
        EXPECT_EQ(std::vector<uint32_t>(u, u + 4), (std::vector<uint32_t>{30000, 3000, 4000, 5000}));

        std::string report;
        fw.GetReportText(report);
        EXPECT_EQ(report, file.string() +
                              "\r\n"
                              "Firmware 1234 v. 2.3.1\r\n"
                              "   1 = 3\r\n"
                              "   7 = 9\r\n"
                              "   Component 55 v. 1.0.4-beta7\r\n"
                              "      1 = 4\r\n"
                              "   Component 56 v. 1.0.4-beta7\r\n"
                              "      1 = 4\r\n"
                              "Compatibility\r\n"
                              "   1234 requires 77 v. 5.0.0\r\n"
                              "Hardwares allowed: 410,411\r\n"
                              "Management\r\n"
                              "   Requires extraction of the binary\r\n"
                              "   Timeouts\r\n"
                              "      first = 30000\r\n"
                              "      segment = 3000\r\n"
                              "      last = 4000\r\n"
                              "      restart = 5000\r\n");
    }
}

TEST_F(FirmwareContainerTest, DocumentAndTree) {
    auto file = Write("boot.bin", Container({{22, 2, Header4Full()}, {57, 1, kBinary}}));
    CFirmwareContainer fw;
    ASSERT_EQ(fw.ReadFirmwareInfo(file, false, false), "");
    EXPECT_EQ(fw.Root().Name(), "Boot");
    const CXmlNode* meta = fw.Root().FindNode("Component\\Identity\\Metadata");
    ASSERT_NE(meta, nullptr);
    EXPECT_EQ(meta->GetAttributeInt("n", 0), 5);
    EXPECT_EQ(meta->GetAttributeInt("size", 0), 3);
    const CXmlNode* key = fw.Root().FindNode("Compatibility\\Key");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->GetAttributeInt("setby", 0), 1234);

    RecordingTree tree;
    tree.lines = {"stale"};
    fw.FillTree(&tree);
    EXPECT_EQ(tree.lines, (std::vector<std::string>{
                              file.string(),
                              "  Firmware 1234 v. 2.3.1 *",
                              "    Component 55 v. 1.0.4-beta7 *",
                              "    Component 56 v. 1.0.4-beta7 *",
                              "  Hardwares allowed",
                              "    410",
                              "    411",
                              "  Constraints",
                              "    1234 requires 77 v. 5.0.0",
                              "  Management",
                              "    Requires extraction of the binary",
                              "    Timeouts",
                              "      first = 30000",
                              "      segment = 3000",
                              "      last = 4000",
                              "      restart = 5000",
                          }));
    EXPECT_EQ(fw.TreeCtrl(), &tree);
}

TEST_F(FirmwareContainerTest, HeaderChoiceFromTheBlockTable) {
    LegacyHeader legacy;
    legacy.code = 99;
    legacy.hardware = {1, 2, 3};
    const auto legacyBytes = legacy.Build();
    const auto v4 = Header4().Hardware({1}).Build();
    struct Case {
        const char* name;
        std::vector<Block> blocks;
        int header;  // header version used, or 0 for an error
        std::string error;
    };
    const Case cases[] = {
        {"legacy then v4", {{22, 0, legacyBytes}, {22, 2, v4}, {57, 2, kBinary}}, 4, ""},
        {"v4 then legacy", {{22, 2, v4}, {22, 0, legacyBytes}, {57, 2, kBinary}}, 4, ""},
        {"legacy alone", {{57, 2, kBinary}, {22, 0, legacyBytes}}, 2, ""},
        {"other subtypes skipped",
         {{22, 3, v4}, {57, 3, kBinary}, {22, 0, legacyBytes}, {57, 1, kBinary}},
         2,
         ""},
        {"no info header",
         {{57, 2, kBinary}},
         0,
         "-51: ReadFirmwareInfo: missing block 22 in the container file"},
        {"no binary", {{22, 2, v4}}, 0, "-51: ReadFirmwareInfo: missing block 57 in the container file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = Write("c.bin", Container(c.blocks));
        CFirmwareContainer fw;
        std::string error = fw.ReadFirmwareInfo(file, true, true);
        EXPECT_EQ(error, c.error);
        if (c.header != 0) {
            EXPECT_EQ(fw.Root().GetAttributeInt("header", 0), c.header);
        }
        EXPECT_EQ(fw.HasBinary(), c.header != 0);
    }
}

TEST_F(FirmwareContainerTest, ContainerHeaderChecks) {
    const std::vector<Block> blocks = {{22, 2, Header4Full()}, {57, 2, kBinary}};
    struct Case {
        std::vector<uint8_t> data;
        bool containerRequired;
        std::string error;
    };
    auto noTable = Container(blocks, 0x01);
    auto badKind = Container(blocks, 0x11, 0x0167);
    auto swappedKind = Container(blocks, 0x11, 0x7F00);
    auto badVersion = Container(blocks, 0x11, 0x0166, 2);
    auto tableOutside = Container(blocks);
    tableOutside[12] = 200;  // entry count far beyond the file
    const Case cases[] = {
        {std::vector<uint8_t>(33, 0x43), false, "-51: ReadFirmwareInfo: no container type file"},
        {std::vector<uint8_t>(40, 0x00), true, "No Vkr container"},
        {badKind, true, "-51: ReadFirmwareInfo: container file doesn't contain a firmware"},
        {swappedKind, true, ""},
        {badVersion, true, "-51: ReadFirmwareInfo: container version 2 not supported"},
        {noTable, true, "-51: ReadFirmwareInfo: missing random access table in the container file"},
        {tableOutside, true, ""},  // stops at the binary block before the end of the table
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        auto file = Write("c.bin", c.data);
        CFirmwareContainer fw;
        EXPECT_EQ(fw.ReadFirmwareInfo(file, true, c.containerRequired), c.error);
        EXPECT_EQ(fw.Root().GetAttribute("file"), file.string());
    }
}

TEST_F(FirmwareContainerTest, OffsetsOutsideTheFileAreRefused) {
    struct Case {
        const char* name;
        size_t at;
        uint32_t value;
        std::string error;
    };
    // Table at 32: entry 0 (info header) and entry 1 (binary), 16 bytes each.
    const Case cases[] = {
        {"table beyond the file", 6, 0xFFF0, "-51: ReadFirmwareInfo: block table outside the container file"},
        {"header block beyond the file", 32 + 8, 0xFFFFFF,
         "-51: ReadFirmwareInfo: block 22 outside the container file"},
        {"binary block beyond the file", 48 + 8, 0xFFFFFF,
         "-51: ReadFirmwareInfo: block 57 outside the container file"},
        {"binary size beyond the file", 48 + 4, 0x7FFFFFFF,
         "-51: ReadFirmwareInfo: block 57 outside the container file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes data(false);
        data.b = Container({{22, 2, Header4Full()}, {57, 2, kBinary}});
        if (c.at == 6)
            data.SetU16(c.at, c.value);
        else
            data.SetU32(c.at, c.value);
        CFirmwareContainer fw;
        EXPECT_EQ(fw.ReadFirmwareInfo(Write("c.bin", data.b), true, true), c.error);
        EXPECT_FALSE(fw.HasBinary());
    }
}

TEST_F(FirmwareContainerTest, Version4HeaderErrors) {
    Header4::Component looping = FirmwareComponent();
    struct Case {
        const char* name;
        std::vector<uint8_t> header;
        std::string error;
        bool keepsHardware;
    };
    const Case cases[] = {
        {"header 3", Header4().Hardware({1}).Build(3), "1: header 3 not supported, only header 4", false},
        {"no sections", Header4().Build(), "2: header 4 without sections", false},
        {"identity version", Header4().Hardware({1}).Build(), "", true},
        {"compatibility version", Header4().Hardware({1}).Compatibility({}, 2).Build(),
         "4: header 4: section 'compatibility': version 2 not supported", true},
        {"hardware version", Header4().Hardware({1}, 3).Build(),
         "5: header 4: section 'hardware': version 3 not supported", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = Write("c.bin", Container({{22, 2, c.header}, {57, 2, kBinary}}));
        CFirmwareContainer fw;
        EXPECT_EQ(fw.ReadFirmwareInfo(file, true, true), c.error);
        EXPECT_EQ(fw.Root().FindNode("Hardware") != nullptr, c.keepsHardware);
    }
}

TEST_F(FirmwareContainerTest, DamagedSectionChainsEndWithAnError) {
    auto header = Header4().Hardware({1}).Manage(0, 1, 2, 3, 4).Build();
    Bytes loop(true);
    loop.b = header;
    loop.SetU32(10 + 4 + 4 + 0, 10);  // manage section -> first section... via the hardware link
    // The first section (hardware at 10) links to the manage section; point the manage one back.
    const size_t manageAt = 10 + 8 + 4;
    loop.SetU32(manageAt + 4, 10);
    loop.SetU32(10 + 4, uint32_t(manageAt));
    CFirmwareContainer fw;
    EXPECT_EQ(fw.ReadFirmwareInfo(Write("c.bin", Container({{22, 2, loop.b}, {57, 2, kBinary}})), true, true),
              "8: header 4: the section chain loops");

    Bytes cut(true);
    cut.b = header;
    cut.SetU32(10 + 4, 0x7FFFFFF0);
    EXPECT_EQ(fw.ReadFirmwareInfo(Write("c.bin", Container({{22, 2, cut.b}, {57, 2, kBinary}})), true, true),
              "7: header 4: section outside the file");

    // A component whose sub-list points back at itself.
    Header4::Component c = FirmwareComponent();
    c.subs.resize(1);
    Bytes self(true);
    self.b = Header4().Identity(c).Build();
    self.SetU32(18 + 2, 18);
    EXPECT_EQ(fw.ReadFirmwareInfo(Write("c.bin", Container({{22, 2, self.b}, {57, 2, kBinary}})), true, true),
              "9: header 4: too many components");
}

TEST_F(FirmwareContainerTest, LegacyHeaders) {
    struct Case {
        const char* name;
        int managementFields;
        int header;
        std::vector<int> timeouts;
    };
    const Case cases[] = {
        {"header 2, defaults", 0, 2, {20000, 2000, 2000, 2000}},
        {"extract only", 1, 3, {20000, 2000, 2000, 2000}},
        {"two timeouts", 3, 3, {111, 222, 2000, 2000}},
        {"all", 5, 3, {111, 222, 333, 444}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LegacyHeader h;
        h.managementFields = c.managementFields;
        h.keys = {{30, 4}};
        h.hardware = {410};
        h.size = uint32_t(kBinary.size());
        auto bytes = h.Build();
        bytes.insert(bytes.end(), kBinary.begin(), kBinary.end());
        CFirmwareContainer fw;
        ASSERT_EQ(fw.ReadFirmwareInfo(Write("legacy.bin", bytes), true, false), "");
        EXPECT_EQ(fw.Root().GetAttributeInt("header", 0), c.header);
        int t[4];
        EXPECT_EQ(fw.GetTimeouts(t[0], t[1], t[2], t[3]), 0);
        EXPECT_EQ(std::vector<int>(t, t + 4), c.timeouts);
        EXPECT_TRUE(fw.IsExtract());
        EXPECT_EQ(fw.BinaryOffset(), h.Build().size());
        EXPECT_EQ(fw.BinarySize(), kBinary.size());
        EXPECT_EQ(fw.Root().Name(), "");
    }
}

TEST_F(FirmwareContainerTest, LegacyDocumentAndReport) {
    LegacyHeader h;
    h.code = 20;
    h.major = 3;
    h.build = 12;
    h.keys = {{30, 4}, {31, 1}};
    h.hardware = {410, 411, 412};
    h.managementFields = 1;
    h.extract = 0;
    const auto bytes = h.Build();
    auto file = Write("legacy.bin", bytes);
    CFirmwareContainer fw;
    ASSERT_EQ(fw.ReadFirmwareInfo(file, false, false), "");
    EXPECT_FALSE(fw.IsExtract());
    EXPECT_EQ(fw.BinaryOffset(), 0u);
    EXPECT_EQ(fw.BinarySize(), bytes.size());
    std::string report;
    fw.GetReportText(report);
    EXPECT_EQ(report, file.string() +
                          "\r\n"
                          "Boot 20 v. 3-beta12\r\n"
                          "   1 = 2\r\n"
                          "Compatibility\r\n"
                          "   20 requires 30 v. 4\r\n"
                          "   20 requires 31 v. 1\r\n"
                          "Hardwares allowed: 410,411,412\r\n"
                          "Management\r\n"
                          "   Timeouts\r\n"
                          "      first = 20000\r\n"
                          "      segment = 2000\r\n"
                          "      last = 2000\r\n"
                          "      restart = 2000\r\n");
    const CXmlNode* version = fw.Root().FindNode("Component\\Identity\\Version");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->GetAttribute("minor"), "-1");
}

TEST_F(FirmwareContainerTest, LegacyHeaderErrors) {
    LegacyHeader exact;  // exactly 52 bytes: header 2 with the defaults
    exact.hardware = {1, 2, 3};
    ASSERT_EQ(exact.Build().size(), 52u);
    CFirmwareContainer fw;
    ASSERT_EQ(fw.ReadFirmwareInfo(Write("l.bin", exact.Build()), true, false), "");
    EXPECT_EQ(fw.Root().GetAttributeInt("header", 0), 2);
    EXPECT_TRUE(fw.IsExtract());

    struct Case {
        uint32_t length;
        std::string error;
    };
    const Case cases[] = {
        {34, "Header 1 no longer supported"},
        {51, "Incompleted header 2: 51 bytes"},
        {52, "-51: ReadFirmwareInfo: binary outside the file"},  // size field beyond the file
    };
    for (const Case& c : cases) {
        Bytes b(true);
        LegacyHeader h;
        h.hardware = {1, 2, 3};
        h.size = 1000;
        b.b = h.Build();
        b.SetU32(0, c.length);
        EXPECT_EQ(fw.ReadFirmwareInfo(Write("l.bin", b.b), true, false), c.error);
        EXPECT_FALSE(fw.HasBinary());
    }
    // Hardware count running past the end of the file.
    Bytes b(true);
    b.b = exact.Build();
    b.SetU16(44, 0x7FFF);
    EXPECT_EQ(fw.ReadFirmwareInfo(Write("l.bin", b.b), true, false), "Truncated header: 52 of 52 bytes");
}

TEST_F(FirmwareContainerTest, XmlWrappedFirmware) {
    const auto inner = Container({{22, 2, Header4Full()}, {57, 2, kBinary}});
    struct Case {
        std::string attributes;
        std::string download;
        std::string unpack;
    };
    const Case cases[] = {
        {"", CFirmwareContainer::kDefaultDownloadCommand, CFirmwareContainer::kDefaultUnpackCommand},
        {" download=\"SYS_CV_DL\" unpack=\"\"", "SYS_CV_DL", ""},
        {" unpack=\"  SYS_CV_UNPACK \"", CFirmwareContainer::kDefaultDownloadCommand, "SYS_CV_UNPACK"},
    };
    CFirmwareContainer fw;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        ASSERT_EQ(fw.ReadFirmwareInfo(Write("fw.xml", WrappedFirmware(inner, c.attributes)), true, true), "");
        EXPECT_EQ(fw.Data(), inner);
        EXPECT_EQ(fw.DownloadCommand(), c.download);
        EXPECT_EQ(fw.UnpackCommand(), c.unpack);
        EXPECT_EQ(std::vector<uint8_t>(fw.BinaryStart(), fw.BinaryStart() + fw.BinarySize()), kBinary);
    }
}

TEST_F(FirmwareContainerTest, FileErrors) {
    CFirmwareContainer fw;
    const auto missing = dir_ / "missing.bin";
    EXPECT_EQ(fw.ReadFirmwareInfo(missing, true, false), "13:Error opening file " + missing.string());
    // An XML file that does not open reads as an empty file.
    EXPECT_EQ(fw.ReadFirmwareInfo(dir_ / "missing.xml", true, false),
              "-51: ReadFirmwareInfo: no container type file");
    auto noElement = Write("a.xml", std::string("<DEVICE><X/></DEVICE>"));
    EXPECT_EQ(fw.ReadFirmwareInfo(noElement, true, false),
              "16:Missing firmware binary in " + noElement.string());
    auto open = Write("b.xml", std::string("<DEVICE><FIRMWARE>AAAA"));
    EXPECT_EQ(fw.ReadFirmwareInfo(open, true, false), "17:Corrupted firmware container in " + open.string());
    auto corrupt = Write("c.xml", std::string("<DEVICE><FIRMWARE>QUJDREVGR0g=</FIRMWARE></DEVICE>"));
    std::string error = fw.ReadFirmwareInfo(corrupt, true, false);
    EXPECT_NE(error.find(":Corrupted firmware binary in " + corrupt.string()), std::string::npos) << error;
    // Upper-case extension is not "xml": the file is read as it stands.
    auto upper = Write("d.XML", WrappedFirmware(kBinary));
    EXPECT_EQ(fw.ReadFirmwareInfo(upper, true, true), "No Vkr container");
}

TEST_F(FirmwareContainerTest, TimeoutsWithoutManagement) {
    CFirmwareContainer fw;
    int t[4] = {5, 5, 5, 5};
    EXPECT_EQ(fw.GetTimeouts(t[0], t[1], t[2], t[3]), -1);
    EXPECT_EQ(std::vector<int>(t, t + 4), (std::vector<int>{0, 0, 0, 0}));
    auto file = Write("c.bin", Container({{22, 2, Header4().Hardware({1}).Build()}, {57, 2, kBinary}}));
    ASSERT_EQ(fw.ReadFirmwareInfo(file, true, true), "");
    EXPECT_EQ(fw.GetTimeouts(t[0], t[1], t[2], t[3]), -1);
    EXPECT_FALSE(fw.IsExtract());
    EXPECT_EQ(fw.BinarySize(), fw.Data().size());  // without extraction the whole file is the binary
}

TEST_F(FirmwareContainerTest, ReuseStartsFromAnEmptyDocument) {
    CFirmwareContainer fw;
    ASSERT_EQ(fw.ReadFirmwareInfo(Write("a.bin", Container({{22, 2, Header4Full()}, {57, 2, kBinary}})), true,
                                  true),
              "");
    ASSERT_EQ(fw.ReadFirmwareInfo(
                  Write("b.xml", WrappedFirmware(Container({{22, 2, Header4Full()}, {57, 2, kBinary}}),
                                                 " unpack=\"\"")),
                  true, true),
              "");
    EXPECT_EQ(fw.UnpackCommand(), "");
    EXPECT_NE(fw.ReadFirmwareInfo(Write("c.bin", std::vector<uint8_t>(40, 1)), true, true), "");
    EXPECT_EQ(fw.Root().FindNode("Component"), nullptr);
    EXPECT_FALSE(fw.HasBinary());
    EXPECT_EQ(fw.UnpackCommand(), CFirmwareContainer::kDefaultUnpackCommand);
}

}  // namespace
