// Firmware files written by tests/fixtures/packages/gen_packages.py, read with the reports it expects.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "foundation/XmlNode.h"
#include "packages/FirmwareContainer.h"
#include "packages/NodeCompat.h"

using namespace packages;

namespace {

std::filesystem::path Fixture(const char* name) {
    return std::filesystem::path(TUNOVA_FIXTURES) / "packages" / name;
}

std::string ReadText(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST(PackageFixtures, FirmwareFilesAndTheirReports) {
    struct Case {
        const char* file;
        const char* report;
        bool isFirmware;
        const char* rootName;
        int header;
    };
    const Case cases[] = {
        {"fw_v4_le.fw", "fw_v4.report", true, "Firmware", 4},
        {"fw_v4_be.fw", "fw_v4.report", true, "Firmware", 4},
        {"fw_wrapped.xml", "fw_v4.report", true, "Firmware", 4},
        {"boot_legacy_v3.bin", "boot_legacy_v3.report", false, "", 3},
    };
    const std::string binary = ReadText(Fixture("fw_binary.bin"));
    ASSERT_EQ(binary.size(), 37u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        CFirmwareContainer fw;
        ASSERT_EQ(fw.ReadFirmwareInfo(Fixture(c.file), c.isFirmware, false), "");
        EXPECT_EQ(fw.Root().Name(), c.rootName);
        EXPECT_EQ(fw.Root().GetAttributeInt("header", 0), c.header);
        std::string report;
        fw.GetReportText(report);
        EXPECT_EQ(report, Fixture(c.file).string() + "\r\n" + ReadText(Fixture(c.report)));
        ASSERT_TRUE(fw.IsExtract());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(fw.BinaryStart()), fw.BinarySize()), binary);
    }
    CFirmwareContainer wrapped;
    ASSERT_EQ(wrapped.ReadFirmwareInfo(Fixture("fw_wrapped.xml"), true, true), "");
    EXPECT_EQ(wrapped.DownloadCommand(), "SYS_CV_DOWNLOAD_FW");
    EXPECT_EQ(wrapped.UnpackCommand(), "");
    CFirmwareContainer big;
    ASSERT_EQ(big.ReadFirmwareInfo(Fixture("fw_v4_be.fw"), true, true), "");
    EXPECT_EQ(wrapped.Data(), big.Data());  // the XML file wraps the big-endian container
}

TEST(PackageFixtures, CompatibilityOfTheFixtures) {
    CNodeCompProd boot;
    ASSERT_TRUE(CNodeCompInfo::ReadCompatibility(Fixture("boot_legacy_v3.bin"), boot));
    EXPECT_EQ(boot.code, 20u);
    EXPECT_EQ(boot.version, 4u);
    EXPECT_EQ(boot.build, 3u);
    EXPECT_EQ(boot.requirements, (std::map<uint32_t, uint32_t>{{30, 5}}));
    EXPECT_EQ(boot.hardware, std::vector<uint32_t>{410});

    // The XML file's COMPATIBILITY block adds its products to what the embedded image gives.
    CNodeCompProd wrapped;
    ASSERT_TRUE(CNodeCompInfo::ReadCompatibility(Fixture("boot_wrapped.xml"), wrapped));
    EXPECT_EQ(wrapped.code, 20u);
    EXPECT_EQ(wrapped.requirements, (std::map<uint32_t, uint32_t>{{30, 6}, {40, 2}}));
    EXPECT_EQ(wrapped.hardware, std::vector<uint32_t>{410});
}

}  // namespace
