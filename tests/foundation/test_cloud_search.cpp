#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "../support/LocalHttpServer.h"
#include "IdentityTestTree.h"
#include "foundation/BrandList.h"
#include "foundation/CloudSearch.h"
#include "foundation/Identity.h"

using namespace foundation;

namespace {

using http_test::LocalHttpServer;
using http_test::Reply;
using http_test::Request;
using identity_test::TempTree;
using identity_test::WriteText;
using platform::Scope;
namespace fs = std::filesystem;

const std::string kProductKey = "SOFTWARE\\Varno\\Tunova";

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

CIdentity Wanted() {
    CIdentity target;
    target.Set(1234, 2, 3, 1, 0);
    return target;
}

std::string Index(const std::vector<std::string>& elements) {
    std::string json = "{\"files\": [";
    for (size_t i = 0; i < elements.size(); ++i) json += (i ? ", " : "") + elements[i];
    return json + "]}";
}

std::string Entry(const std::string& sw, const std::string& name) {
    return "{\"sw\": \"" + sw + "\", \"name\": \"" + name + "\"}";
}

class RecordingProgress : public CCloudSearchProgress {
  public:
    void Open(const std::string& caption) override { events.push_back("open " + caption); }
    void SetText(int line, const std::string& text) override {
        events.push_back("line" + std::to_string(line) + " " + text);
    }
    void Close() override { events.push_back("close"); }
    std::vector<std::string> events;
};

// A cloud repository on 127.0.0.1 below "/repo/", named in the registry as the product's address.
class CloudSearch : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(identity_test::RegistryIsPrivate());
        const char* env = std::getenv(kCloudAddressEnv);
        savedEnv_ = env ? env : "";
        unsetenv(kCloudAddressEnv);
        ASSERT_TRUE(server_.Start([this](const Request& request) {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = files_.find(request.path);
            return it == files_.end() ? Reply::Text("<html>no such file</html>", 404, "Not Found")
                                      : it->second;
        }));
        // Without the final slash: the address gets one.
        ASSERT_TRUE(TempTree::Registry().SetString(Scope::Machine, kProductKey, kCloudAddressValue,
                                                   server_.Base() + "/repo"));
        settings_.baseAddress = server_.Base() + "/repo/";
        settings_.targetFolder = XmlFolder();
    }
    void TearDown() override {
        SetCloudSearchProgress(nullptr);
        server_.Stop();
        if (savedEnv_.empty()) {
            unsetenv(kCloudAddressEnv);
        } else {
            setenv(kCloudAddressEnv, savedEnv_.c_str(), 1);
        }
    }

    void Put(const std::string& path, Reply reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        files_[path] = std::move(reply);
    }
    void Put(const std::string& path, const std::string& body) { Put(path, Reply::Text(body)); }
    fs::path XmlFolder() const { return tree_.CommonData() / "Xml"; }

    bool Search(const CIdentity& target, std::string* message) {
        return SearchCloudIndex(target, settings_, message);
    }

    TempTree tree_;
    LocalHttpServer server_;
    CloudSearchSettings settings_;
    std::mutex mutex_;
    std::map<std::string, Reply> files_;
    std::string savedEnv_;
};

TEST_F(CloudSearch, BrandListDownloadsTheMatchingFileIntoTheCommonXmlFolder) {
    const CIdentity target = Wanted();
    const std::string description = "<Device hw=\"12\">\r\n\t<Item name=\"x\"/>\r\n</Device>\r\n";
    Put("/repo/__index.json",
        Index({Entry("1234,2,3,0,0,0", "1234_2_3_0.xml"), Entry(target.GetCompactText(), "1234_2_3_1.xml")}));
    Put("/repo/1234_2_3_1.xml", description);
    RecordingProgress progress;
    SetCloudSearchProgress(&progress);

    EXPECT_TRUE(GetBrandList().SearchCloud(target));
    EXPECT_EQ(ReadText(XmlFolder() / "1234_2_3_1.xml"), description);
    EXPECT_EQ(FolderEntries(XmlFolder()), std::vector<std::string>{"1234_2_3_1.xml"});

    auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/repo/__index.json");
    EXPECT_EQ(requests[1].path, "/repo/1234_2_3_1.xml");
    EXPECT_EQ(requests[0].userAgent, "Tunova");

    ASSERT_GE(progress.events.size(), 4u);
    EXPECT_EQ(progress.events[0], "open Searching libraries in source directory");
    EXPECT_EQ(progress.events[1], "line0 Searching Vkr cloud for configuration file 1234 v. 2.3.1 ...");
    EXPECT_EQ(progress.events[2], "line1 ");
    EXPECT_EQ(progress.events.back(), "close");
    EXPECT_NE(std::find(progress.events.begin(), progress.events.end(), "line1 Request sent"),
              progress.events.end());
}

TEST_F(CloudSearch, DownloadReplacesAnOlderCopyAndEscapesTheName) {
    WriteText(XmlFolder() / "my file.xml", "old copy");
    Put("/repo/__index.json", Index({Entry(Wanted().GetCompactText(), "my file.xml")}));
    Put("/repo/my%20file.xml", "new copy");
    std::string message;
    EXPECT_TRUE(Search(Wanted(), &message));
    EXPECT_EQ(message, "Downloaded successful");
    EXPECT_EQ(ReadText(XmlFolder() / "my file.xml"), "new copy");
    EXPECT_EQ(FolderEntries(XmlFolder()), std::vector<std::string>{"my file.xml"});
}

TEST_F(CloudSearch, IndexShapesAndMatches) {
    const CIdentity target = Wanted();
    const std::string sw = target.GetCompactText();
    CIdentity withAttributes = target;
    withAttributes.AddAttribute(7, 1);
    withAttributes.name = "Other name";
    struct Case {
        const char* what;
        std::string json;
        CloudIndexMatch match;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"not JSON", "<html>error</html>", CloudIndexMatch::Invalid, ""},
        {"cut JSON", Index({Entry(sw, "a.xml")}).substr(0, 20), CloudIndexMatch::Invalid, ""},
        {"empty text", "", CloudIndexMatch::Invalid, ""},
        {"root array", "[" + Entry(sw, "a.xml") + "]", CloudIndexMatch::NoMatch, ""},
        {"files not an array", "{\"files\": " + Entry(sw, "a.xml") + "}", CloudIndexMatch::NoMatch, ""},
        {"key case differs", "{\"Files\": [" + Entry(sw, "a.xml") + "]}", CloudIndexMatch::NoMatch, ""},
        {"odd elements skipped",
         Index({"42", "null", "[\"" + sw + "\"]", "{\"sw\": 5, \"name\": \"n.xml\"}",
                "{\"SW\": \"" + sw + "\"}", "{\"sw\": \"not,an,identity\", \"name\": \"bad.xml\"}",
                Entry(sw, "good.xml")}),
         CloudIndexMatch::Found, "good.xml"},
        {"first match decides", Index({Entry(sw, "first.xml"), Entry(sw, "second.xml")}),
         CloudIndexMatch::Found, "first.xml"},
        {"first match without a name ends the search",
         Index({"{\"sw\": \"" + sw + "\", \"name\": 3}", Entry(sw, "later.xml")}), CloudIndexMatch::NoMatch,
         ""},
        {"first occurrence of a key",
         Index({"{\"sw\": \"" + sw + "\", \"name\": \"one.xml\", \"name\": \"two.xml\"}"}),
         CloudIndexMatch::Found, "one.xml"},
        {"attributes and name differ", Index({Entry(withAttributes.GetCompactText(), "attr.xml")}),
         CloudIndexMatch::Found, "attr.xml"},
        {"prerelease number of a release differs", Index({Entry("1234,2,3,1,0,9", "rel.xml")}),
         CloudIndexMatch::Found, "rel.xml"},
        {"other versions",
         Index({Entry("1234,2,3,2,0,0", "p.xml"), Entry("1234,2,3,1,2,0", "beta.xml"),
                Entry("1235,2,3,1,0,0", "code.xml")}),
         CloudIndexMatch::NoMatch, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = "stale";
        EXPECT_EQ(FindInCloudIndex(c.json, target, &name), c.match);
        EXPECT_EQ(name, c.name);
    }
}

TEST_F(CloudSearch, FailuresLeaveTheOldFileAndNoTemporaryFiles) {
    const std::string sw = Wanted().GetCompactText();
    WriteText(XmlFolder() / "file.xml", "old copy");
    Reply cut = Reply::Text(std::string(4000, 'x'));
    cut.cutAfter = 1000;
    Reply stalled = Reply::Text("late");
    stalled.stallMs = 60000;  // until the server stops
    struct Case {
        const char* what;
        std::string index;  // empty: no index on the server
        Reply file;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"no index", "", Reply::Text("x"), "Failed download index"},
        {"index not JSON", "<html>maintenance</html>", Reply::Text("x"), "Invalid index content"},
        {"no match", Index({Entry("99,1,0,0,0,0", "file.xml")}), Reply::Text("x"),
         "No configuration file 1234 v. 2.3.1 in the index"},
        {"file missing", Index({Entry(sw, "file.xml")}), Reply::Text("gone", 404, "Not Found"),
         "Failed download file"},
        {"file empty", Index({Entry(sw, "file.xml")}), Reply::Text(""), "Failed download file"},
        {"file cut short", Index({Entry(sw, "file.xml")}), cut, "Failed download file"},
        {"name leaves the folder", Index({Entry(sw, "../file.xml")}), Reply::Text("evil"),
         "Invalid file name in index: ../file.xml"},
        // Last: the server stays busy with it.
        {"file stalls", Index({Entry(sw, "file.xml")}), stalled, "Failed download file"},
    };
    settings_.receiveTimeoutMs = 300;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            files_.clear();
        }
        if (!c.index.empty()) Put("/repo/__index.json", c.index);
        Put("/repo/file.xml", c.file);
        std::string message;
        EXPECT_FALSE(Search(Wanted(), &message));
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(ReadText(XmlFolder() / "file.xml"), "old copy");
        EXPECT_EQ(FolderEntries(XmlFolder()), std::vector<std::string>{"file.xml"});
        EXPECT_FALSE(fs::exists(tree_.CommonData() / "file.xml"));
    }
}

TEST_F(CloudSearch, ServerGoneAndFolderNotWritable) {
    Put("/repo/__index.json", Index({Entry(Wanted().GetCompactText(), "file.xml")}));
    Put("/repo/file.xml", "data");

    // A file where the folder should be.
    settings_.targetFolder = tree_.Root() / "blocked";
    WriteText(settings_.targetFolder, "not a folder");
    std::string message;
    EXPECT_FALSE(Search(Wanted(), &message));
    EXPECT_EQ(message, "Error creating file");
    EXPECT_EQ(ReadText(settings_.targetFolder), "not a folder");

    server_.Stop();
    settings_.targetFolder = XmlFolder();
    EXPECT_FALSE(Search(Wanted(), &message));
    EXPECT_EQ(message, "Failed download index");
    EXPECT_FALSE(GetBrandList().SearchCloud(Wanted()));
    EXPECT_FALSE(fs::exists(XmlFolder() / "file.xml"));
}

TEST_F(CloudSearch, BaseAddressFromEnvironmentUserOrMachine) {
    EXPECT_EQ(GetCloudBaseAddress(), server_.Base() + "/repo/");
    ASSERT_TRUE(
        TempTree::Registry().SetString(Scope::User, kProductKey, kCloudAddressValue, "http://user.test/x/"));
    EXPECT_EQ(GetCloudBaseAddress(), "http://user.test/x/");
    setenv(kCloudAddressEnv, "http://env.test/y", 1);
    EXPECT_EQ(GetCloudBaseAddress(), "http://env.test/y/");
    unsetenv(kCloudAddressEnv);
    TempTree::ClearRegistry();
    EXPECT_EQ(GetCloudBaseAddress(), kDefaultCloudAddress);
}

}  // namespace

namespace {

TEST_F(CloudSearch, LongFilesWithoutALengthArriveWhole) {
    // Well past 65535 bytes, sent close-delimited and chunked: nothing is cut.
    std::string description = "<Device hw=\"12\">\r\n";
    for (int i = 0; description.size() < 200000; ++i)
        description += "\t<Item name=\"item" + std::to_string(i) + "\"/>\r\n";
    description += "</Device>\r\n";
    for (auto length : {Reply::Length::CloseDelimited, Reply::Length::Chunked}) {
        SCOPED_TRACE(static_cast<int>(length));
        fs::remove_all(XmlFolder());
        Reply index = Reply::Text(Index({Entry(Wanted().GetCompactText(), "big.xml")}));
        index.length = length;
        Put("/repo/__index.json", index);
        Reply file = Reply::Text(description);
        file.length = length;
        Put("/repo/big.xml", file);
        std::string message;
        EXPECT_TRUE(Search(Wanted(), &message)) << message;
        EXPECT_EQ(ReadText(XmlFolder() / "big.xml"), description);
    }
}

}  // namespace
