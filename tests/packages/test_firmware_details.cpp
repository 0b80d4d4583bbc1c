// What the firmware details dialog shows and copies for read, incompatible and damaged files.

#include <gtest/gtest.h>

#include "PackageTestSupport.h"
#include "packages/FirmwareDetails.h"

using namespace packages;
using namespace package_test;

namespace {

class LinesTree : public CFirmwareTreeCtrl {
  public:
    void DeleteAllItems() override {
        lines.clear();
        depth_.clear();
    }
    Item InsertItem(const std::string& text, Item parent, const foundation::CXmlNode*) override {
        const int depth = parent == 0 ? 0 : depth_[size_t(parent - 1)] + 1;
        depth_.push_back(depth);
        lines.push_back(std::string(size_t(depth) * 2, ' ') + text);
        return Item(depth_.size());
    }
    std::vector<std::string> lines;

  private:
    std::vector<int> depth_;
};

Header4::Component Firmware() {
    Header4::Component c;
    const uint16_t id[6] = {1234, 2, 3, 1, 0, 0};
    std::copy(id, id + 6, c.id);
    c.attributes = {{1, 3}};
    return c;
}

std::vector<uint8_t> GoodContainer() {
    return Container(
        {{22, 2, Header4().Identity(Firmware()).Hardware({410}).Build()}, {57, 2, {1, 2, 3, 4}}});
}

class FirmwareDetailsTest : public TempFolder {};

TEST_F(FirmwareDetailsTest, TreeShowsContentAndTheCauseOnlyWhenThereIsOne) {
    CFirmwareContainer fw;
    const auto file = Write("fw.bin", GoodContainer());
    ASSERT_EQ(fw.ReadFirmwareInfo(file, true, true), "");
    const std::vector<std::string> content = {file.string(), "  Firmware 1234 v. 2.3.1",
                                              "  Hardwares allowed", "    410"};
    struct Case {
        std::string incompatibility;
        std::vector<std::string> extra;
    };
    for (const Case& c : {Case{"", {}}, Case{"firmware:Hardware 410 requires 9 v. 2, device has 9 v. 1",
                                             {kIncompatibilityCaption,
                                              "firmware:Hardware 410 requires 9 v. 2, device has 9 v. 1"}}}) {
        LinesTree tree;
        tree.lines = {"stale"};
        const auto first = FillFirmwareDetailsTree({&fw, "", c.incompatibility}, tree);
        std::vector<std::string> expected = content;
        expected.insert(expected.end(), c.extra.begin(), c.extra.end());
        EXPECT_EQ(tree.lines, expected);
        EXPECT_EQ(first, 1);                // the file's item
        EXPECT_EQ(fw.TreeCtrl(), nullptr);  // the container keeps no tree that is gone
    }
}

TEST_F(FirmwareDetailsTest, CopyTextByCase) {
    CFirmwareContainer fw;
    const auto file = Write("fw.bin", GoodContainer());
    ASSERT_EQ(fw.ReadFirmwareInfo(file, true, true), "");
    std::string report, xml;
    fw.GetReportText(report);
    fw.GetXml(xml);
    ASSERT_FALSE(report.empty());
    struct Case {
        std::string error, incompatibility;
        bool xmlDetail;
        std::string text;
    };
    const Case cases[] = {
        {"", "", false, report},
        {"", "too old", false, report + "\r\ntoo old\r\n"},
        {"", "", true, xml},
        {"", "too old", true, xml + "\r\n<!-- too old -->\r\n"},
        {"-51: ReadFirmwareInfo: no container type file", "too old", true,
         "-51: ReadFirmwareInfo: no container type file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        EXPECT_EQ(FirmwareDetailsCopyText({&fw, c.error, c.incompatibility}, c.xmlDetail), c.text);
    }
}

// Damaged files: the reading says what is wrong, and the details show and copy only that.
TEST_F(FirmwareDetailsTest, DamagedContainersShowOnlyTheirError) {
    std::vector<uint8_t> truncated = GoodContainer();
    truncated.resize(33);
    std::vector<uint8_t> farBlock = GoodContainer();
    // The info header block's offset (little-endian) points far past the end of the file.
    farBlock[32 + 8 + 3] = 0x7F;
    std::vector<uint8_t> badVersion = GoodContainer();
    badVersion[2] = 2;
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
    };
    for (const Case& c : {Case{"truncated", truncated}, Case{"far block", farBlock},
                          Case{"version", badVersion}, Case{"empty", {}}}) {
        SCOPED_TRACE(c.name);
        CFirmwareContainer fw;
        const std::string error = fw.ReadFirmwareInfo(Write("bad.bin", c.data), true, true);
        ASSERT_FALSE(error.empty());
        LinesTree tree;
        EXPECT_EQ(FillFirmwareDetailsTree({&fw, error, "ignored"}, tree), 1);
        EXPECT_EQ(tree.lines, std::vector<std::string>{error});
        EXPECT_EQ(FirmwareDetailsCopyText({&fw, error, "ignored"}, false), error);
    }
    CFirmwareContainer missing;
    const std::string error = missing.ReadFirmwareInfo(dir_ / "gone.bin", true, true);
    EXPECT_EQ(error.rfind("13:Error opening file", 0), 0u) << error;
}

}  // namespace
