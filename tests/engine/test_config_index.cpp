// Configuration-file index: built over the source folders, reused, updated and rewritten.

#include <unistd.h>

#include <thread>

#include "VocabularyTestSupport.h"
#include "engine/ConfigFileIndex.h"
#include "foundation/XmlDocument.h"
#include "platform/Messages.h"

using namespace foundation;
using namespace engine;
using namespace vocabulary_test;

namespace {

class ConfigIndexTest : public VocabularyEnvironment {
  protected:
    // Replaces a file's content by garbage of the same size and keeps its time: an index that
    // reads the file again would find it corrupted.
    void Poison(const fs::path& file) {
        struct stat st;
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        WriteFile(file, std::string(size_t(st.st_size), '#'));
        struct timespec times[2] = {st.st_mtim, st.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    }

    std::unique_ptr<CXmlDocument> ReadIndex(const fs::path& file) {
        auto doc = std::make_unique<CXmlDocument>();
        EXPECT_EQ(doc->Load(file), S_OK) << file;
        return doc;
    }

    static std::vector<std::string> Files(const CConfigFileIndex& index) {
        std::vector<std::string> names;
        for (int i = 0; i < index.Count(); ++i)
            if (index.At(i)) names.push_back(index.At(i)->file + "/" + std::to_string(index.At(i)->hw));
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(ConfigIndexTest, BuiltFromScratchOverTheFolderTree) {
    Description two;
    two.sw = 200;
    two.hw = "3,5";
    two.extra = "<Authorizations><User title=\"Tester\" name=\"T\" level=\"50\"/></Authorizations>";
    WriteDescription(two);
    Description plain;
    plain.sw = 300;
    plain.major = 2;
    plain.minor = 4;
    WriteDescription(plain);
    WriteFile(Descriptions() / "9_broken.xml", "<DEVICE><no end");
    WriteFile(Descriptions() / "noseparator.xml", DescriptionText(plain));
    WriteFile(Descriptions() / "1_notes.txt", "not a description");
    Description xmlFolder;
    xmlFolder.sw = 400;
    WriteDescription(xmlFolder, {}, BaseFolder() / "Xml");
    Description custom;
    custom.sw = 500;
    const fs::path customFolder = root / "custom one";
    WriteDescription(custom, {}, customFolder);
    GetBrandList().Sources()[0]->m_custom.push_back({customFolder.string(), "Custom", "Custom package"});

    // In debug mode only files with several variants are filtered at load.
    g_DebugMode = true;
    platform::RecordingSink sink;
    CConfigFileIndex index;
    index.SetNotificationWindow(sink.Handle(), 1099);
    char before[4096], after[4096];
    ASSERT_NE(::getcwd(before, sizeof before), nullptr);
    EXPECT_EQ(index.BuildVocabularyIndex(), 5);
    ASSERT_NE(::getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
    EXPECT_TRUE(IsVocabularyIndexBuilt());
    EXPECT_TRUE(prompts.Asked().empty());  // a broken file is skipped silently on a first build

    EXPECT_EQ(Files(index), (std::vector<std::string>{"200_1_0_0.xml/3", "200_1_0_0.xml/5", "300_2_4_0.xml/3",
                                                      "400_1_0_0.xml/3", "500_1_0_0.xml/3"}));
    for (int i = 0; i < index.Count(); ++i) {
        const CVocabolario* v = index.At(i);
        EXPECT_EQ(v->ItemCount(), 0u);  // headers only until a node uses it
        EXPECT_EQ(v->filter, v->sw == 200 ? 1 : 0) << v->file;
        const uint32_t mode = v->sw == 400 ? 1 : v->sw == 500 ? 2 : 0;
        EXPECT_EQ(v->folderMode, mode) << v->file;
        EXPECT_TRUE(fs::exists(v->GetFilePath())) << v->GetFilePath();
        EXPECT_EQ(v->brand, "Varno");
    }
    const int i300 = index.FindVocabulary(3, 300, [] {
        CIdentity id;
        id.Set(300, 2, 4, 0, 3);
        return id;
    }());
    ASSERT_GE(i300, 0);
    EXPECT_EQ(index.At(i300)->descr, "Test drive");
    EXPECT_EQ(index.At(i300)->identity.version.GetText(), "2.4.0");
    EXPECT_EQ(index.FindVocabulary(4, 300, index.At(i300)->identity), -1);
    EXPECT_EQ(index.FindVocabulary(0, 300, index.At(i300)->identity), i300);

    // One index per folder, named after the folder's last two components.
    const auto files = IndexFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].filename(), "common_xml.idx");
    EXPECT_EQ(files[1].filename(), fs::path(Lower(root.filename().string()) + "_custom_one.idx"));
    EXPECT_EQ(files[2].filename(), fs::path(Lower(root.filename().string()) + "_descriptions.idx"));
    auto doc = ReadIndex(files[2]);
    const CXmlNode& r = doc->Root();
    EXPECT_EQ(r.Name(), "XmlIndex");
    EXPECT_EQ(r.GetAttribute("ver"), "3");
    EXPECT_EQ(r.GetAttribute("path"), Lower(Descriptions().string()));
    ASSERT_EQ(r.GetChildCount("File"), 2);
    const CXmlNode* f = r.FindNode("File");
    for (const CXmlNode* c : r.Children())
        if (c->GetAttribute("name") == "200_1_0_0.xml") f = c;
    EXPECT_EQ(f->GetAttribute("size"), std::to_string(fs::file_size(Descriptions() / "200_1_0_0.xml")));
    EXPECT_EQ(f->GetAttribute("date").size(), 16u);
    EXPECT_EQ(f->GetAttribute("version"), "1");
    EXPECT_EQ(f->GetAttribute("xml_ver"), "3");
    ASSERT_EQ(f->GetChildCount("Item"), 2);
    const CXmlNode* item = f->FindNode("Item");
    const char* order[] = {"hw", "sw", "sw_ver", "build", "descr", "type", "oem", "pver"};
    ASSERT_EQ(item->Attributes().size(), std::size(order));
    for (size_t i = 0; i < std::size(order); ++i) EXPECT_EQ(item->Attributes()[i]->Name(), order[i]);
    EXPECT_EQ(item->GetAttribute("pver"), "200,1,0,0,0,0,1,3");

    // The users of a description's list join the program's short list.
    bool found = false;
    for (const CUserDev& u : GetAuthorizations().GetUsers()) found |= u.title == "tester" && u.level == 50;
    EXPECT_TRUE(found);

    // Progress of the description folder (three candidate files): start, range, three steps, end.
    platform::PumpMessages();
    std::vector<std::intptr_t> codes;
    for (const platform::Message& m : sink.Messages()) {
        EXPECT_EQ(m.msg, 1099u);
        EXPECT_EQ(m.wParam, 1u);
        codes.push_back(m.lParam);
    }
    const std::vector<std::intptr_t> folderCodes{0x60000000, 0x80000003, 0xC0000003,
                                                 0xC0000002, 0xC0000001, 0xC0000000};
    ASSERT_GE(codes.size(), folderCodes.size());
    EXPECT_EQ(std::vector<std::intptr_t>(codes.begin(), codes.begin() + 6), folderCodes);
}

TEST_F(ConfigIndexTest, ProgressReachesTheWindowWhileABuildOnItsThreadRuns) {
    Description a, b;
    a.sw = 11;
    b.sw = 12;
    WriteDescription(a);
    WriteDescription(b);
    struct Case {
        const char* what;
        bool onWorker;
    } cases[] = {{"window thread: sent", false}, {"worker: posted", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const fs::path& file : IndexFiles()) fs::remove(file);
        platform::PumpMessages();
        platform::RecordingSink sink;
        CConfigFileIndex index;
        index.SetNotificationWindow(sink.Handle(), 1099);
        if (c.onWorker) {
            std::thread worker([&] { EXPECT_EQ(index.BuildVocabularyIndex(), 2); });
            worker.join();
        } else {
            EXPECT_EQ(index.BuildVocabularyIndex(), 2);
        }
        // Sent progress has arrived when the build ends; posted progress waits for the pump.
        EXPECT_EQ(sink.Count() != 0, !c.onWorker);
        platform::PumpMessages();
        std::vector<std::intptr_t> codes;
        for (const platform::Message& m : sink.Messages()) codes.push_back(m.lParam);
        const std::vector<std::intptr_t> expected{0x60000000, 0x80000002, 0xC0000002, 0xC0000001, 0xC0000000};
        ASSERT_GE(codes.size(), expected.size());
        EXPECT_EQ(std::vector<std::intptr_t>(codes.begin(), codes.begin() + 5), expected);
    }
}

TEST_F(ConfigIndexTest, ReusedWhenNothingChanged) {
    Description a, b;
    a.sw = 11;
    b.sw = 12;
    const fs::path fa = WriteDescription(a), fb = WriteDescription(b);
    CConfigFileIndex index;
    ASSERT_EQ(index.BuildVocabularyIndex(), 2);
    const fs::path idx = IndexFiles().at(0);
    SetFileTime(idx, 1000000000);
    const std::string text = ReadFile(idx);

    Poison(fa);
    Poison(fb);
    ClearVocabularyIndexBuilt();
    EXPECT_EQ(index.BuildVocabularyIndex(), 2);
    EXPECT_TRUE(prompts.Asked().empty());  // no description was opened
    struct stat st;
    ASSERT_EQ(::stat(idx.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(ReadFile(idx), text);
    EXPECT_EQ(IndexFiles().size(), 1u);
}

TEST_F(ConfigIndexTest, FileWithANewDateIsReadAgain) {
    Description a, b;
    a.sw = 11;
    b.sw = 12;
    const fs::path fa = WriteDescription(a), fb = WriteDescription(b);
    SetFileTime(fa, 1500000000);
    SetFileTime(fb, 1500000000);
    CConfigFileIndex index;
    ASSERT_EQ(index.BuildVocabularyIndex(), 2);
    const fs::path idx = IndexFiles().at(0);
    SetFileTime(idx, 1000000000);

    Poison(fa);  // unchanged: must not be read
    b.descr = "Changed drive";
    WriteDescription(b);
    SetFileTime(fb, 1500000001);
    ClearVocabularyIndexBuilt();
    ASSERT_EQ(index.BuildVocabularyIndex(), 2);
    EXPECT_TRUE(prompts.Asked().empty());
    std::vector<std::string> descrs;
    for (int i = 0; i < index.Count(); ++i) descrs.push_back(index.At(i)->descr);
    std::sort(descrs.begin(), descrs.end());
    EXPECT_EQ(descrs, (std::vector<std::string>{"Changed drive", "Test drive"}));
    struct stat st;
    ASSERT_EQ(::stat(idx.c_str(), &st), 0);
    EXPECT_NE(st.st_mtim.tv_sec, 1000000000);  // rewritten
    EXPECT_EQ(ReadIndex(idx)->Root().GetChildCount("File"), 2);
}

TEST_F(ConfigIndexTest, RemovedFileShortensAndRewritesTheIndex) {
    Description a, b;
    a.sw = 11;
    b.sw = 12;
    const fs::path fa = WriteDescription(a), fb = WriteDescription(b);
    CConfigFileIndex index;
    ASSERT_EQ(index.BuildVocabularyIndex(), 2);
    const fs::path idx = IndexFiles().at(0);
    SetFileTime(idx, 1000000000);

    Poison(fa);
    fs::remove(fb);
    ClearVocabularyIndexBuilt();
    ASSERT_EQ(index.BuildVocabularyIndex(), 1);
    EXPECT_TRUE(prompts.Asked().empty());
    EXPECT_EQ(index.At(0)->sw, 11u);
    struct stat st;
    ASSERT_EQ(::stat(idx.c_str(), &st), 0);
    EXPECT_NE(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(ReadIndex(idx)->Root().GetChildCount("File"), 1);
}

TEST_F(ConfigIndexTest, CorruptedFileIsReportedOnUpdatesAndTriedAgain) {
    Description a;
    a.sw = 11;
    WriteDescription(a);
    CConfigFileIndex index;
    ASSERT_EQ(index.BuildVocabularyIndex(), 1);
    WriteFile(Descriptions() / "9_9.xml", "<NOTDEVICE/>");
    for (int pass = 1; pass <= 2; ++pass) {
        ClearVocabularyIndexBuilt();
        EXPECT_EQ(index.BuildVocabularyIndex(), 1);
        const auto asked = prompts.Asked();
        ASSERT_EQ(asked.size(), size_t(pass));
        EXPECT_EQ(asked.back().text,
                  "Configuration file corrupted:\r\n\r\n" + (Descriptions() / "9_9.xml").string());
        EXPECT_EQ(asked.back().caption, "Loading configuration file");
        EXPECT_EQ(asked.back().flags & platform::MB_ICONMASK, platform::MB_ICONWARNING);
    }
    EXPECT_EQ(ReadIndex(IndexFiles().at(0))->Root().GetChildCount("File"), 1);
}

TEST_F(ConfigIndexTest, IndexNamesOfFoldersEndingAlike) {
    Description a, b;
    a.sw = 11;
    b.sw = 12;
    const fs::path first = root / "one" / "Data" / "Xml", second = root / "two" / "data" / "XML";
    WriteDescription(a, {}, first);
    WriteDescription(b, {}, second);
    auto& brand = *GetBrandList().Sources()[0];
    brand.m_custom.push_back({first.string(), "A", "A"});
    brand.m_custom.push_back({second.string(), "B", "B"});
    CConfigFileIndex index;
    ASSERT_EQ(index.BuildVocabularyIndex(), 2);
    std::vector<std::string> names;
    for (const fs::path& p : IndexFiles()) names.push_back(p.filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"data_xml.idx", "data_xml1.idx",
                                               Lower(root.filename().string()) + "_descriptions.idx"}));
    // Next time both indexes are found again by their paths: nothing new is written.
    ClearVocabularyIndexBuilt();
    ASSERT_EQ(index.BuildVocabularyIndex(), 2);
    EXPECT_EQ(IndexFiles().size(), 3u);
}

TEST_F(ConfigIndexTest, DamagedIndexIsIgnoredAndReplaced) {
    Description a;
    a.sw = 11;
    WriteDescription(a);
    const std::string stem = Lower(root.filename().string()) + "_descriptions";
    WriteFile(BaseFolder() / (stem + ".idx"),
              "<XmlIndex ver=\"2\" path=\"" + Lower(Descriptions().string()) + "\"/>");
    CConfigFileIndex index;
    ASSERT_EQ(index.BuildVocabularyIndex(), 1);
    ASSERT_TRUE(fs::exists(BaseFolder() / (stem + "1.idx")));
    EXPECT_EQ(ReadIndex(BaseFolder() / (stem + "1.idx"))->Root().GetChildCount("File"), 1);
}

TEST_F(ConfigIndexTest, BrandMarkingDecidesWhichItemsGetAVocabulary) {
    struct Case {
        uint32_t sw, swVer, oem;
        bool belongs;
    };
    const Case cases[] = {
        {2, 3, 593527, true},   // (65542 - 3703) / 9 = 6871
        {2, 3, 589824, false},  // divisor 9, offset 0: 7282
        {2, 3, 0, false},       // no marking
        {410, 2, OemFor(410, 2), true},
        {70000, 1, OemFor(70000, 1), true},  // p above 65536 is taken as it is
    };
    for (const Case& c : cases) {
        CXmlDocument doc;
        ASSERT_EQ(
            doc.LoadXml("<Item sw=\"" + std::to_string(c.sw) + "\" sw_ver=\"" + std::to_string(c.swVer) +
                        "\" oem=\"" + std::to_string(int32_t(c.oem)) + "\"/>"),
            S_OK);
        EXPECT_EQ(CConfigFileIndex::ItemBelongsToBrand(doc.Root()), c.belongs) << c.oem;
    }

    Description foreign, unmarked, ours;
    foreign.sw = 21;
    unmarked.sw = 22;
    unmarked.withOem = false;
    ours.sw = 23;
    WriteDescription(foreign);
    std::string text = ReadFile(Descriptions() / FileNameOf(foreign));
    const std::string mark = std::to_string(OemFor(21, 1));
    text.replace(text.find(mark), mark.size(), std::to_string(OemFor(21, 1) + 1));
    WriteFile(Descriptions() / FileNameOf(foreign), text);
    WriteDescription(unmarked);
    WriteDescription(ours);
    CConfigFileIndex index;
    ASSERT_EQ(index.BuildVocabularyIndex(), 1);
    EXPECT_EQ(index.At(0)->sw, 23u);
}

TEST_F(ConfigIndexTest, VocabularyListText) {
    CConfigFileIndex index;
    std::string text;
    EXPECT_EQ(index.GetVocabularies(text), 0);
    EXPECT_EQ(text, "<Vocabularies></Vocabularies>");
    EXPECT_TRUE(IsVocabularyIndexBuilt());

    Description a;
    a.sw = 11;
    a.hw = "1,2";
    WriteDescription(a);
    // Built already: the new file is seen only after the flag is cleared.
    EXPECT_EQ(index.GetVocabularies(text), 0);
    ClearVocabularyIndexBuilt();
    EXPECT_EQ(index.GetVocabularies(text), 2);
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml(text), S_OK);
    EXPECT_EQ(doc.Root().GetChildCount("Voc"), 2);
    EXPECT_EQ(doc.Root().FindNode("Voc")->GetAttribute("file"), "11_1_0_0.xml");

    CIdentity id;
    id.Set(11, 1, 0, 0, 3);
    EXPECT_EQ(index.GetVocabularyName(id), "Test drive");
    id.Set(11, 1, 0, 1, 3);
    EXPECT_EQ(index.GetVocabularyName(id), "");
}

}  // namespace
