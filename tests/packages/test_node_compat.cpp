// Compatibility records of nodes and of boot and firmware files, and the checks between them.

#include <gtest/gtest.h>

#include "PackageTestSupport.h"
#include "packages/NodeCompat.h"

using namespace packages;
using namespace package_test;

namespace {

CNodeCompProd Product(uint32_t code, uint32_t version, std::map<uint32_t, uint32_t> requirements = {},
                      std::vector<uint32_t> hardware = {}) {
    CNodeCompProd p;
    p.code = code;
    p.version = version;
    p.requirements = std::move(requirements);
    p.hardware = std::move(hardware);
    return p;
}

// Boot/firmware record in the given byte order.
std::vector<uint8_t> Record(bool big, uint16_t format, uint16_t code, uint16_t version, uint16_t build,
                            std::vector<std::pair<uint16_t, uint16_t>> reqs, std::vector<uint16_t> hw) {
    Bytes b(big);
    b.U16(format).U16(code).U16(version).U16(build).U16(uint32_t(reqs.size()));
    for (auto& r : reqs) b.U16(r.first).U16(r.second);
    b.U16(uint32_t(hw.size()));
    for (uint16_t h : hw) b.U16(h);
    return b.b;
}

TEST(NodeCompProd, RecordByteOrderFollowsTheFirstByte) {
    for (bool big : {true, false}) {
        SCOPED_TRACE(big);
        auto bytes = Record(big, 2, 20, 3, 7, {{30, 4}, {31, 1}, {30, 6}}, {410, 411});
        EXPECT_EQ(bytes[0], big ? 0 : 2);
        CNodeCompProd p;
        ASSERT_TRUE(p.ParseRecord(bytes.data(), bytes.size()));
        EXPECT_EQ(p.code, 20u);
        EXPECT_EQ(p.version, 3u);
        EXPECT_EQ(p.build, 7u);
        // A repeated code replaces the earlier minimum.
        EXPECT_EQ(p.requirements, (std::map<uint32_t, uint32_t>{{30, 6}, {31, 1}}));
        EXPECT_EQ(p.hardware, (std::vector<uint32_t>{410, 411}));
    }
}

TEST(NodeCompProd, RefusedRecordsLeaveNothing) {
    auto good = Record(false, 2, 20, 3, 0, {{30, 4}}, {410});
    auto format3 = Record(false, 3, 20, 3, 0, {}, {410});
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"format 3", format3},
        {"cut in the requirements", std::vector<uint8_t>(good.begin(), good.begin() + 12)},
        {"cut in the hardware", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"one byte", {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CNodeCompProd p = Product(5, 5, {{1, 1}}, {1});
        EXPECT_FALSE(p.ParseRecord(c.bytes.data(), c.bytes.size()));
        EXPECT_EQ(p.code, 0u);
        EXPECT_TRUE(p.requirements.empty());
        EXPECT_TRUE(p.hardware.empty());
    }
}

TEST(NodeCompProd, HardwareRecord) {
    Bytes b(false);
    b.U16(1).U16(410).U16(2).U16(2).U16(20).U16(3).U16(30).U16(1);
    CNodeCompProd p;
    ASSERT_TRUE(p.ReadHardwareRecord(b.b.data(), b.Size()));
    EXPECT_EQ(p.code, 410u);
    EXPECT_EQ(p.version, 2u);
    EXPECT_EQ(p.requirements, (std::map<uint32_t, uint32_t>{{20, 3}, {30, 1}}));
    EXPECT_FALSE(p.ReadHardwareRecord(b.b.data(), 7));
    EXPECT_FALSE(p.ReadHardwareRecord(b.b.data(), 10));  // pairs cut short
    b.b[0] = 2;
    EXPECT_FALSE(p.ReadHardwareRecord(b.b.data(), b.Size()));
}

TEST(NodeCompInfo, ReadsFromTheNodeItems) {
    Bytes hw(false);
    hw.U16(1).U16(410).U16(2).U16(0);
    auto fw = Record(true, 2, 30, 5, 0, {}, {410});
    CompUploadFn upload = [&](const std::string& item, uint8_t* buffer, uint32_t& size) {
        const std::vector<uint8_t>* source = item == "upload_comp_hw"   ? &hw.b
                                             : item == "upload_comp_fw" ? &fw
                                                                        : nullptr;
        if (source == nullptr) return -303;
        EXPECT_EQ(size, 100u);
        std::copy(source->begin(), source->end(), buffer);
        size = uint32_t(source->size());
        return 0;
    };
    CNodeCompInfo node;
    ASSERT_TRUE(CNodeCompInfo::ReadHardwareFromNode(upload, node.hardware));
    ASSERT_TRUE(CNodeCompInfo::ReadRecordFromNode(upload, "upload_comp_fw", node.firmware));
    EXPECT_FALSE(CNodeCompInfo::ReadRecordFromNode(upload, "upload_comp_boot", node.boot));
    EXPECT_EQ(node.hardware.code, 410u);
    EXPECT_EQ(node.firmware.code, 30u);
}

TEST(NodeCompInfo, BootCandidates) {
    CNodeCompInfo node;
    node.Reset(Product(410, 2, {{20, 3}}));
    node.firmware = Product(30, 5, {{20, 4}});
    node.boot = Product(20, 4, {{20, 2}});
    struct Case {
        const char* name;
        CNodeCompProd candidate;
        bool compatible;
    };
    const Case cases[] = {
        {"fits", Product(20, 4, {}, {410}), true},
        {"empty hardware list", Product(20, 4), false},
        {"other hardware", Product(20, 4, {}, {411}), false},
        {"below the firmware's minimum", Product(20, 3, {}, {410}), false},
        {"demands a newer hardware", Product(20, 4, {{410, 3}}, {410}), false},
        {"demands a newer firmware", Product(20, 4, {{30, 6}}, {410}), false},
        {"demands what the firmware has", Product(20, 4, {{30, 5}, {410, 2}}, {410}), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(node.IsCompatible(c.candidate), c.compatible) << c.name;
    }
    // The node's boot demands a minimum of its successor too.
    CNodeCompInfo strict;
    strict.Reset(Product(410, 2));
    strict.boot = Product(20, 4, {{21, 9}});
    EXPECT_FALSE(strict.IsCompatible(Product(21, 8, {}, {410})));
    EXPECT_TRUE(strict.IsCompatible(Product(21, 9, {}, {410})));
}

TEST(NodeCompInfo, FirmwareCandidates) {
    CNodeCompInfo node;
    node.Reset(Product(410, 2));
    node.boot = Product(20, 4, {{30, 5}});
    node.firmware = Product(30, 5, {{30, 6}});
    EXPECT_FALSE(node.IsFirmwareCompatible(Product(30, 5, {}, {410})));  // node firmware demands 6
    EXPECT_TRUE(node.IsFirmwareCompatible(Product(30, 6, {}, {410})));
    EXPECT_FALSE(node.IsFirmwareCompatible(Product(30, 6, {{20, 5}}, {410})));  // demands a newer boot
    node.boot.code = 0;
    EXPECT_TRUE(node.IsFirmwareCompatible(Product(30, 6, {{20, 5}}, {410})));
}

TEST(NodeCompInfo, NodeWithoutCodesAcceptsHardwareZero) {
    CNodeCompInfo node;
    EXPECT_TRUE(node.IsCompatible(Product(20, 1, {{1, 99}}, {0})));
    EXPECT_TRUE(node.IsFirmwareCompatible(Product(30, 1, {}, {5, 0})));
    EXPECT_FALSE(node.IsFirmwareCompatible(Product(30, 1, {}, {5})));
}

class NodeCompFile : public TempFolder {};

std::vector<uint8_t> LegacyFirmware() {
    LegacyHeader h;
    h.code = 30;
    h.major = 5;
    h.build = 2;
    h.keys = {{20, 4}};
    h.hardware = {410, 411};
    h.managementFields = 5;
    auto bytes = h.Build();
    bytes[34] = 0;
    bytes[35] = 2;  // record format 2, big-endian
    bytes.insert(bytes.end(), 64, 0xAA);
    return bytes;
}

TEST_F(NodeCompFile, FileShapes) {
    const auto legacy = LegacyFirmware();
    const auto container = Container({{57, 2, {1, 2, 3, 4}}, {22, 0, legacy}}, 0x11, 0x007F);
    const std::string xmlBlock =
        "<COMPATIBILITY><PRODUCT code=\"20\" minver=\"6\"/><PRODUCT code=\"0\" minver=\"9\"/>"
        "<PRODUCT code=\"77\"/></COMPATIBILITY>\r\n";
    struct Case {
        const char* name;
        std::string fileName;
        std::vector<uint8_t> bytes;
        std::map<uint32_t, uint32_t> requirements;
    };
    auto asBytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    const Case cases[] = {
        {"plain", "fw.bin", legacy, {{20, 4}}},
        {"container", "fw.fw", container, {{20, 4}}},
        {"xml without block", "fw.xml", asBytes(WrappedFirmware(legacy)), {{20, 4}}},
        {"xml with block", "fw.XML", asBytes(WrappedFirmware(container, "", xmlBlock)), {{20, 6}, {77, 0}}},
        {"xml with broken block",
         "fw.xml",
         asBytes(WrappedFirmware(legacy, "", "<COMPATIBILITY><x</COMPATIBILITY>")),
         {{20, 4}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CNodeCompProd p;
        ASSERT_TRUE(CNodeCompInfo::ReadCompatibility(Write(c.fileName, c.bytes), p));
        EXPECT_EQ(p.code, 30u);
        EXPECT_EQ(p.version, 5u);
        EXPECT_EQ(p.build, 2u);
        EXPECT_EQ(p.hardware, (std::vector<uint32_t>{410, 411}));
        EXPECT_EQ(p.requirements, c.requirements);
    }
}

TEST_F(NodeCompFile, Refused) {
    const auto legacy = LegacyFirmware();
    auto noTable = Container({{22, 0, legacy}}, 0x01);
    auto format2 = Container({{22, 0, legacy}}, 0x11, 0x0166, 2);
    auto no22 = Container({{57, 2, legacy}});
    auto badOffset = Container({{22, 0, legacy}});
    badOffset[32 + 8] = 0xFF;
    badOffset[32 + 9] = 0xFF;
    auto badRecord = legacy;
    badRecord[35] = 3;  // format 3
    struct Case {
        const char* name;
        std::string fileName;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"short", "a.bin", std::vector<uint8_t>(33, 0)},
        {"no table", "a.bin", noTable},
        {"other format", "a.bin", format2},
        {"no block 22", "a.bin", no22},
        {"block 22 outside", "a.bin", badOffset},
        {"record refused", "a.bin", badRecord},
        {"xml without firmware", "a.xml", std::vector<uint8_t>(40, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CNodeCompProd p = Product(1, 1);
        EXPECT_FALSE(CNodeCompInfo::ReadCompatibility(Write(c.fileName, c.bytes), p));
    }
    CNodeCompProd p;
    EXPECT_FALSE(CNodeCompInfo::ReadCompatibility(dir_ / "missing.bin", p));
}

}  // namespace

namespace {

TEST_F(NodeCompFile, HeaderBelowVersion2HoldsNoRecord) {
    auto bytes = LegacyFirmware();
    bytes[8] = 0;
    bytes[9] = 1;
    CNodeCompProd p = Product(9, 9);
    ASSERT_TRUE(CNodeCompInfo::ReadCompatibility(Write("old.bin", bytes), p));
    EXPECT_EQ(p.code, 0u);
    EXPECT_TRUE(p.hardware.empty());
}

}  // namespace
