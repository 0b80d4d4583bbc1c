// The user firmware folders: listing, identity columns, import, removal, export and the scan
// worker, all without touching the process's working directory.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "PackageTestSupport.h"
#include "foundation/BrandList.h"
#include "packages/UserFirmware.h"
#include "platform/Messages.h"

using namespace packages;
using namespace package_test;
namespace fs = std::filesystem;

namespace {

const char* kIdentityFile =
    "<DEVICE hw=\"410\"><Identity><Product code=\"1234\" name=\"Axis drive\"/>"
    "<Version major=\"2\" minor=\"3\" patch=\"1\" prestatus=\"2\" prenumber=\"7\"/></Identity>"
    "<Description>ignored</Description></DEVICE>";
const char* kLegacyFile =
    "<DEVICE hw=\"77\" sw=\"20\" sw_ver=\"3\" build=\"12\"><Description>Old drive</Description></DEVICE>";
const char* kLegacyNewBuild = "<DEVICE hw=\"77\" sw=\"21\" sw_ver=\"4\" build=\"2015\"/>";

class UserFirmwareTest : public TempFolder {
  protected:
    void SetUp() override {
        TempFolder::SetUp();
        cwd_ = fs::current_path();
        folder_ = dir_ / "brand" / "Xml";
    }
    void TearDown() override {
        // Nothing here may move the process's working directory.
        EXPECT_EQ(fs::current_path(), cwd_);
        TempFolder::TearDown();
    }
    fs::path Put(const std::string& name, const std::string& text) {
        fs::create_directories(folder_);
        std::ofstream(folder_ / name) << text;
        return folder_ / name;
    }
    static std::string Text(const fs::path& file) {
        std::ifstream in(file);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    fs::path cwd_;
    fs::path folder_;
};

TEST(UserFirmwareNames, OnlyUnderscoreXmlFilesCount) {
    struct Case {
        const char* name;
        bool listed;
    };
    for (const Case& c : {Case{"20_3.xml", true}, Case{"a_.xml", true}, Case{"_b.XML", true},
                          Case{"drive.xml", false}, Case{"a_b.xml.bak", false}, Case{"a_b.txt", false},
                          Case{".xml", false}, Case{"_.xm", false}, Case{"x.y_z", false}}) {
        EXPECT_EQ(IsUserFirmwareName(c.name), c.listed) << c.name;
    }
}

TEST_F(UserFirmwareTest, FolderOfASourceIsAbsoluteOrNone) {
    foundation::CBrandList list;
    for (const char* base : {"", "relative/base", "/abs/base"}) {
        auto source = std::make_unique<foundation::CBrand>();
        source->m_strName = base;
        source->m_strBaseFolder = base;
        list.Sources().push_back(std::move(source));
    }
    EXPECT_EQ(UserFirmwareFolder(list, 0), fs::path());
    EXPECT_EQ(UserFirmwareFolder(list, 1), fs::path());  // would hang on the working directory
    EXPECT_EQ(UserFirmwareFolder(list, 2), fs::path("/abs/base/Xml"));
    EXPECT_EQ(UserFirmwareFolder(list, 3), fs::path());
    EXPECT_EQ(UserFirmwareFolder(list, -1), fs::path());
}

TEST_F(UserFirmwareTest, ListsSortedAndReadsTheIdentityColumns) {
    Put("b_identity.xml", kIdentityFile);
    Put("a_legacy.xml", kLegacyFile);
    Put("c_newbuild.xml", kLegacyNewBuild);
    Put("d_broken.xml", "<DEVICE hw=\"1 <Identity>");
    Put("e_other.xml", "<PARAMETERS/>");
    Put("nounderscore.xml", kIdentityFile);
    std::string error;
    const auto names = ListUserFirmwareFiles(folder_, &error);
    EXPECT_TRUE(error.empty());
    ASSERT_EQ(names, (std::vector<std::string>{"a_legacy.xml", "b_identity.xml", "c_newbuild.xml",
                                               "d_broken.xml", "e_other.xml"}));
    struct Expect {
        const char *hw, *sw, *version, *description;
    };
    const Expect expected[] = {
        {"77", "20", "3-beta12", "Old drive"},
        {"410", "1234", "2.3.1-beta7", "Axis drive"},
        {"77", "21", "4", ""},  // a build number, not a beta
        {"", "", "", "Not a valid XML file (error 3)"},
        {"", "", "", "Not a firmware description file"},
    };
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        UserFirmwareRow row{names[i], "x", "x", "x", "x"};
        ReadUserFirmwareDetails(folder_ / names[i], row);
        EXPECT_EQ(row.hw, expected[i].hw);
        EXPECT_EQ(row.sw, expected[i].sw);
        EXPECT_EQ(row.version, expected[i].version);
        EXPECT_EQ(row.description.substr(0, 21), std::string(expected[i].description).substr(0, 21));
    }
    UserFirmwareRow gone{"z_gone.xml", {}, {}, {}, {}};
    ReadUserFirmwareDetails(folder_ / "z_gone.xml", gone);
    EXPECT_EQ(gone.description, "Cannot read the file");

    std::string missing;
    EXPECT_TRUE(ListUserFirmwareFiles(dir_ / "nowhere", &missing).empty());
    EXPECT_NE(missing.find("nowhere"), std::string::npos);
}

TEST_F(UserFirmwareTest, ImportCreatesTheFolderAndReplacesAWholeFile) {
    const fs::path source = Write("9_new.xml", kIdentityFile);
    EXPECT_EQ(ImportUserFirmware(folder_, source), "");
    EXPECT_EQ(Text(folder_ / "9_new.xml"), kIdentityFile);

    // A second import replaces the file; importing the folder's own file keeps it whole.
    Write("9_new.xml", kLegacyFile);
    EXPECT_EQ(ImportUserFirmware(folder_, source), "");
    EXPECT_EQ(Text(folder_ / "9_new.xml"), kLegacyFile);
    EXPECT_EQ(ImportUserFirmware(folder_, folder_ / "9_new.xml"), "");
    EXPECT_EQ(Text(folder_ / "9_new.xml"), kLegacyFile);

    const std::string error = ImportUserFirmware(folder_, dir_ / "missing_1.xml");
    EXPECT_EQ(error.rfind("Error copying file.\n", 0), 0u) << error;
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(folder_ / "missing_1.xml"));

    // The folder cannot be made where a file stands.
    Write("blocker", "x");
    EXPECT_EQ(ImportUserFirmware(dir_ / "blocker" / "Xml", source).rfind("Error creating user folder.", 0),
              0u);
    EXPECT_EQ(ImportUserFirmware("relative/Xml", source), "Error creating user folder.");
    EXPECT_FALSE(fs::exists(cwd_ / "relative"));
}

TEST_F(UserFirmwareTest, RemoveKeepsAReadOnlyFileAndReportsIt) {
    for (const char* name : {"1_a.xml", "2_b.xml", "3_c.xml"}) Put(name, kLegacyFile);
    ::chmod((folder_ / "2_b.xml").c_str(), 0444);
    const uint64_t before = UserFirmwareGeneration();
    const UserFirmwareResult result = RemoveUserFirmware(folder_, {"1_a.xml", "2_b.xml", "3_c.xml"});
    EXPECT_EQ(result.done, 2);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].rfind("Error deleting file.\n2_b.xml: ", 0), 0u) << result.errors[0];
    EXPECT_EQ(ListUserFirmwareFiles(folder_), std::vector<std::string>{"2_b.xml"});
    EXPECT_GT(UserFirmwareGeneration(), before);

    // Names never leave the folder; nothing removed leaves the cached lists alone.
    Write("4_outside.xml", kLegacyFile);
    const uint64_t after = UserFirmwareGeneration();
    EXPECT_EQ(RemoveUserFirmware(folder_, {"../../4_outside.xml", ""}).done, 0);
    EXPECT_TRUE(fs::exists(dir_ / "4_outside.xml"));
    EXPECT_EQ(UserFirmwareGeneration(), after);
}

TEST_F(UserFirmwareTest, RemoveAllTakesOnlyTheListedFiles) {
    for (const char* name : {"1_a.xml", "2_b.xml"}) Put(name, kLegacyFile);
    Put("keep.xml", kLegacyFile);
    Put("3_c.txt", kLegacyFile);
    fs::create_directories(folder_ / "5_folder.xml");
    const UserFirmwareResult result = RemoveAllUserFirmware(folder_);
    EXPECT_EQ(result.done, 2);
    ASSERT_EQ(result.errors.size(), 1u);  // a folder is not deleted as a file
    EXPECT_NE(result.errors[0].find("5_folder.xml"), std::string::npos);
    EXPECT_TRUE(fs::exists(folder_ / "keep.xml"));
    EXPECT_TRUE(fs::exists(folder_ / "3_c.txt"));
    EXPECT_FALSE(fs::exists(folder_ / "1_a.xml"));
    EXPECT_EQ(RemoveAllUserFirmware("").done, 0);
}

TEST_F(UserFirmwareTest, ExportCopiesOrSaysWhyNot) {
    Put("1_a.xml", kIdentityFile);
    Put("2_b.xml", kLegacyFile);
    fs::create_directories(dir_ / "out");
    UserFirmwareResult result = ExportUserFirmware(folder_, {"1_a.xml", "2_b.xml"}, dir_ / "out");
    EXPECT_EQ(result.done, 2);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(Text(dir_ / "out" / "2_b.xml"), kLegacyFile);

    // A vanished source and a destination that is no folder: each file says why.
    result = ExportUserFirmware(folder_, {"1_a.xml", "9_gone.xml"}, dir_ / "nowhere");
    EXPECT_EQ(result.done, 0);
    ASSERT_EQ(result.errors.size(), 2u);
    for (const std::string& error : result.errors) EXPECT_EQ(error.rfind("Error copying file.\n", 0), 0u);
}

class ScanTest : public UserFirmwareTest {
  protected:
    // Waits for the worker's post and takes the result once it is the asked one.
    std::optional<CUserFirmwareScanner::Result> WaitFor(CUserFirmwareScanner& scanner, uint64_t request) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < limit) {
            platform::WaitForMessages(100);
            platform::PumpMessages();
            auto result = scanner.TakeResult();
            if (result && result->request == request && result->complete) return result;
        }
        return std::nullopt;
    }
};

TEST_F(ScanTest, WorkerPostsNamesThenDetailsAndIsJoinedOnStop) {
    Put("1_a.xml", kIdentityFile);
    Put("2_b.xml", kLegacyFile);
    Put("plain.xml", kLegacyFile);
    platform::RecordingSink window;
    CUserFirmwareScanner scanner(window.Handle(), 0x5A4);
    ASSERT_TRUE(scanner.Start());

    uint64_t request = scanner.Request(folder_, true);
    auto result = WaitFor(scanner, request);
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->error.empty());
    ASSERT_EQ(result->rows.size(), 2u);
    EXPECT_EQ(result->rows[0].sw, "1234");
    EXPECT_EQ(result->rows[1].description, "Old drive");
    bool posted = false;
    for (const platform::Message& m : window.Messages())
        posted = posted || (m.msg == 0x5A4 && m.wParam == request);
    EXPECT_TRUE(posted);

    // Without details only the names; a missing folder is made.
    request = scanner.Request(dir_ / "other" / "Xml", false);
    result = WaitFor(scanner, request);
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->rows.empty());
    EXPECT_TRUE(fs::is_directory(dir_ / "other" / "Xml"));

    request = scanner.Request(folder_, false);
    result = WaitFor(scanner, request);
    ASSERT_TRUE(result.has_value());
    ASSERT_EQ(result->rows.size(), 2u);
    EXPECT_EQ(result->rows[0].sw, "");

    // A relative folder is never scanned against the working directory.
    const bool hadXml = fs::exists(cwd_ / "Xml");
    request = scanner.Request("Xml", true);
    result = WaitFor(scanner, request);
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->rows.empty());
    EXPECT_EQ(fs::exists(cwd_ / "Xml"), hadXml);

    scanner.Stop();
    EXPECT_FALSE(scanner.IsRunning());
}

TEST_F(ScanTest, ManyRequestsEndWithTheLastOne) {
    for (int i = 0; i < 40; ++i) Put(std::to_string(i) + "_f.xml", kIdentityFile);
    Put("x_last.xml", kLegacyFile);
    platform::RecordingSink window;
    uint64_t last = 0;
    {
        CUserFirmwareScanner scanner(window.Handle(), 0x5A4);
        ASSERT_TRUE(scanner.Start());
        for (int i = 0; i < 20; ++i) last = scanner.Request(i % 2 ? folder_ : dir_ / "empty", true);
        auto result = WaitFor(scanner, last);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->folder, folder_);
        EXPECT_EQ(result->rows.size(), 41u);
        // Destroyed with a scan asked for: the destructor stops and joins the worker.
        scanner.Request(folder_, true);
    }
    window.Unregister();
}

}  // namespace
