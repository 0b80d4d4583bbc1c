// Device archives: the description vocabulary, item content, the checks before writing and the file layout.

#include <gtest/gtest.h>

#include "PackageTestSupport.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "packages/Archivio.h"
#include "platform/Prompt.h"
#include "transport/ModbusCrc.h"

using namespace foundation;
using namespace transport;
using namespace packages;
using namespace package_test;

namespace {

const char* kDescription = R"(<Archive defaultname="drive.arc" verifymode="0" index="1">
  <Objects maxsize="4096">
    <Information selected="True"/>
    <Boot locked="1"><Opt name="best" selected="1"/><Opt name="same"/><Opt name="binary" selected="1" locked="1"/><Opt name="bogus" selected="1"/></Boot>
    <Firmware selected="yes"><Opt name="xml" selected="1"/><Opt name="binary" selected="2"/></Firmware>
    <Iec><Opt name="editor"><Opt name="compile" selected="1"/></Opt><Opt name="file"/></Iec>
    <File maxfiles="5"/>
  </Objects>
</Archive>)";

class Description {
  public:
    explicit Description(const std::string& text) { EXPECT_EQ(doc_.LoadXml(text), S_OK); }
    const CXmlNode* Root() const { return &doc_.Root(); }

  private:
    CXmlDocument doc_;
};

class PromptsFixture : public TempFolder {
  protected:
    void SetUp() override {
        TempFolder::SetUp();
        platform::SetPromptService(&prompts_);
    }
    void TearDown() override {
        platform::SetPromptService(nullptr);
        TempFolder::TearDown();
    }
    std::vector<std::string> Asked() {
        std::vector<std::string> out;
        for (const auto& q : prompts_.Asked()) out.push_back(q.caption + ": " + q.text);
        prompts_.Clear();
        return out;
    }
    platform::ScriptedPrompts prompts_;
};

TEST(ArchivioDescription, Vocabulary) {
    Description d(kDescription);
    CArchivio a;
    a.Load(d.Root());
    EXPECT_EQ(a.defaultName, "drive.arc");
    EXPECT_EQ(a.defaultExtension, "arc");
    EXPECT_FALSE(a.byteSwap);
    EXPECT_TRUE(a.indexTable);
    EXPECT_FALSE(a.inlineHeaders);
    EXPECT_EQ(a.maxDataSize, 4096u);
    ASSERT_TRUE(a.info && a.boot && a.firmware && a.iec && a.param && a.userFiles);
    EXPECT_TRUE(a.info->present);
    EXPECT_TRUE(a.info->selected);
    EXPECT_TRUE(a.boot->locked);
    EXPECT_FALSE(a.boot->selected);
    EXPECT_TRUE(a.boot->best.available && a.boot->best.selected);
    EXPECT_TRUE(a.boot->same.available && !a.boot->same.selected);
    EXPECT_TRUE(a.boot->binary.locked);
    EXPECT_FALSE(a.boot->compatible.available);
    EXPECT_FALSE(a.boot->xml.available);
    EXPECT_TRUE(a.firmware->selected);
    EXPECT_TRUE(a.firmware->xml.selected);
    EXPECT_TRUE(a.firmware->binary.available && !a.firmware->binary.selected);  // only 1 selects
    EXPECT_TRUE(a.iec->editor.available && a.iec->compile.selected);
    EXPECT_FALSE(a.param->present);
    EXPECT_TRUE(a.param->file.available && a.param->target.available);  // exist without any Opt
    EXPECT_EQ(a.userFiles->maxFiles, 5u);
    EXPECT_EQ(a.userFiles->maxFileSize, 16777216u);

    struct Case {
        const char* text;
        std::string name, extension;
        bool swap;
        bool index, inlineHeaders;
    };
    const Case cases[] = {
        {R"(<Archive defaultname="backup"/>)", "backup", "bin", false, true, false},
        {R"(<Archive defaultname="backup" defaultext="dat" endianness="0" index="3"/>)", "backup", "dat",
         true, true, true},
        {R"(<Archive defaultname=".hidden" defaultext="x" index="0"/>)", ".hidden", "x", false, false, false},
        {R"(<Archive defaultname="a.b.c" defaultext="x" index="2"/>)", "a.b.c", "c", false, false, true},
    };
    for (const Case& c : cases) {
        Description dc(c.text);
        CArchivio b;
        b.Load(dc.Root());
        EXPECT_EQ(b.defaultName, c.name) << c.text;
        EXPECT_EQ(b.defaultExtension, c.extension) << c.text;
        EXPECT_EQ(b.byteSwap, c.swap) << c.text;
        EXPECT_EQ(b.indexTable, c.index) << c.text;
        EXPECT_EQ(b.inlineHeaders, c.inlineHeaders) << c.text;
        ASSERT_TRUE(b.boot);
        EXPECT_FALSE(b.boot->present);  // no Objects: nothing offered
    }
    a.Load(nullptr);
    EXPECT_FALSE(a.boot);
    EXPECT_EQ(a.maxDataSize, CArchivio::kDefaultMaxDataSize);
}

TEST(ArchivioItems, Texts) {
    CArchiBoot boot;
    EXPECT_EQ(boot.GetText(), "");
    boot.code = 20;
    boot.version = 3;
    boot.binaryImage = {1};
    EXPECT_EQ(boot.GetText(), "Boot 20 v.3[bin]");
    boot.build = 7;
    boot.xmlContent = {1};
    EXPECT_EQ(boot.GetText(), "Boot 20 v.3 beta 7[xml][bin]");
    CArchiFirmware fw;
    fw.code = 30;
    fw.version = 5;
    fw.xmlContent = {1, 2, 3, 4, 5};
    EXPECT_EQ(fw.GetText(), "Fw 30 v.5[xml]");
    EXPECT_EQ(fw.PaddedContentSize(), 8u);
    CArchiIEC iec;
    iec.binaryPath = "/p/prog.bin";
    EXPECT_EQ(iec.GetText(), "");
    iec.binary = {1};
    EXPECT_EQ(iec.GetText(), "IEC:/p/prog.bin");
    CArchiParam param;
    param.path = "/p/par.xml";
    param.type = 30;
    param.swRev = 5;
    param.content = {1};
    EXPECT_EQ(param.GetText(), "/p/par.xml (30 v.5)");
    param.build = 2;
    EXPECT_EQ(param.GetText(), "/p/par.xml (30 v.5) beta 2");
    CArchiGeneralInfo info;
    EXPECT_EQ(info.versionNumbers[0], 0xFFFF);
    EXPECT_EQ(info.versionLetter, 0xFF);
    ASSERT_TRUE(info.Configure());
    EXPECT_EQ(info.contentSize, 48u);
    EXPECT_EQ(info.GetText(), "");
    info.name = "Axis";
    info.version = "1.0";
    info.description = "Line 3";
    ASSERT_TRUE(info.Configure());
    EXPECT_EQ(info.contentSize, 48u + 4 + 4 + 8);
    EXPECT_EQ(info.GetText(), "Axis,1.0 ,Line 3  ");
    info.author = std::string(253, 'a');
    EXPECT_FALSE(info.Configure());  // 256 after padding does not fit its length byte
    EXPECT_EQ(info.contentSize, 64u);
}

// A loaded archive with a 5-byte boot image and a parameter file.
void Fill(CArchivio& a, const std::string& index, bool littleEndian = true, int verify = 0) {
    Description d(
        "<Archive index=\"" + index + "\" endianness=\"" + (littleEndian ? "1" : "0") + "\" verifymode=\"" +
        std::to_string(verify) +
        "\"><Objects><Boot selected=\"1\"/><Parameters selected=\"1\"/><Firmware/></Objects></Archive>");
    a.Load(d.Root());
    a.boot->binaryImage = {1, 2, 3, 4, 5};
    a.param->content = {'P', 'A', 'R', 'A', 'M', 'S', '!', '!'};
    a.firmware->binaryImage = {9, 9, 9, 9};  // not checked: never written
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}

TEST(ArchivioLayout, IndexTableLittleEndian) {
    CArchivio a;
    Fill(a, "1");
    const std::array<uint8_t, 16> guid{};
    const auto image = a.BuildImage(410, guid);
    ASSERT_EQ(image.size(), 32u + 32 + 8 + 8);
    EXPECT_EQ(image[0], 0x43);
    EXPECT_EQ(image[1], 0x43);
    EXPECT_EQ(image[2], 1);
    EXPECT_EQ(image[5], 0x11);
    EXPECT_EQ(Le16(image, 6), 32);
    EXPECT_EQ(Le16(image, 8), 807);
    EXPECT_EQ(Le16(image, 10), 410);
    EXPECT_EQ(Le32(image, 12), 2u);
    EXPECT_EQ(Le32(image, 16), 16u);
    EXPECT_EQ(Le32(image, 20), 80u);
    // The check is taken while the total still holds the planned size (here the same).
    uint32_t sum = 0;
    for (size_t i = 0; i < 30; ++i) sum += image[i];
    EXPECT_EQ(Le16(image, 30), sum & 0xFFFF);
    // Index: boot binary, then parameters.
    EXPECT_EQ(Le16(image, 32), 57);
    EXPECT_EQ(Le16(image, 34), 1);
    EXPECT_EQ(Le32(image, 36), 5u);  // unpadded size
    EXPECT_EQ(Le32(image, 40), 64u);
    EXPECT_EQ(Le16(image, 48), 88);
    EXPECT_EQ(Le16(image, 50), 11);
    EXPECT_EQ(Le32(image, 52), 8u);
    EXPECT_EQ(Le32(image, 56), 72u);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 64, image.begin() + 72),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 0, 0, 0}));
}

TEST(ArchivioLayout, IndexKinds) {
    struct Case {
        const char* index;
        size_t size;
        size_t firstContent;
    };
    const Case cases[] = {{"0", 32 + 16, 32}, {"2", 32 + 32 + 16, 48}, {"3", 32 + 32 + 32 + 16, 80}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        CArchivio a;
        Fill(a, c.index);
        const auto image = a.BuildImage(1, {});
        ASSERT_EQ(image.size(), c.size);
        EXPECT_EQ(image[c.firstContent], 1);
        EXPECT_EQ(Le32(image, 20), c.size);
        if (std::string(c.index) == "3") {
            EXPECT_EQ(image[5], 0x31);
            EXPECT_EQ(Le32(image, 40), 64u);  // index points at the inline header
            EXPECT_EQ(Le16(image, 64), 57);
            EXPECT_EQ(Le32(image, 64 + 4), 5u);
            EXPECT_EQ(Le32(image, 64 + 8), 88u);          // next block
            EXPECT_EQ(Le32(image, 88 + 8), 0xFFFFFFFFu);  // end of the chain
        }
    }
}

TEST(ArchivioLayout, BigEndianAndCrc) {
    CArchivio a;
    Fill(a, "1", false, 1);
    const auto image = a.BuildImage(0x0102, {});
    ASSERT_EQ(image.size(), 32u + 32 + 16 + 2);
    EXPECT_EQ(image[0], 0x43);
    EXPECT_EQ(image[1], 0x43);
    EXPECT_EQ(image[3], 1);
    EXPECT_EQ(image[5], 0x10);
    EXPECT_EQ(image[8], 807 >> 8);
    EXPECT_EQ(image[9], 807 & 0xFF);
    EXPECT_EQ(image[10], 1);
    EXPECT_EQ(image[11], 2);
    // Planned 82, real 80 (the CRC is not counted): the check holds the planned size.
    EXPECT_EQ(image[23], 80);
    std::vector<uint8_t> planned(image.begin(), image.begin() + 30);
    planned[23] = 82;
    uint32_t sum = 0;
    for (uint8_t b : planned) sum += b;
    EXPECT_EQ(image[30], (sum >> 8) & 0xFF);
    EXPECT_EQ(image[31], sum & 0xFF);
    const uint16_t crc = ModbusCrc16(image.data() + 32, 80 - 32);
    EXPECT_EQ(image[80], crc >> 8);
    EXPECT_EQ(image[81], crc & 0xFF);
}

TEST(ArchivioLayout, GeneralInformation) {
    Description d("<Archive><Objects><Information selected=\"1\"/></Objects></Archive>");
    CArchivio a;
    a.Load(d.Root());
    a.info->dateTime = {2026, 12, 10, 14, 30, 15, 123};
    a.info->versionNumbers = {1, 2, 3, 4};
    ASSERT_TRUE(a.info->Configure());
    EXPECT_EQ(a.BuildImage(1, {}).size(), 32u);  // 48 bytes only: no block
    a.info->name = "N";
    a.info->company = "Firm";
    ASSERT_TRUE(a.info->Configure());
    std::array<uint8_t, 16> guid;
    for (size_t i = 0; i < 16; ++i) guid[i] = uint8_t(0xA0 + i);
    const auto image = a.BuildImage(1, guid);
    ASSERT_EQ(image.size(), 32u + 16 + 48 + 8);
    EXPECT_EQ(Le16(image, 32), 298);
    EXPECT_EQ(Le16(image, 34), 0);
    const size_t c = 48;
    EXPECT_EQ(image[c], 1);
    EXPECT_EQ(image[c + 1], 1);
    EXPECT_EQ(image[c + 2], 4);  // name, padded
    EXPECT_EQ(image[c + 3], 0);  // author
    EXPECT_EQ(image[c + 4], 4);  // company
    EXPECT_EQ(Le32(image, c + 12), uint32_t(2026) << 16 | 12 << 8 | 10);
    EXPECT_EQ(Le32(image, c + 16), uint32_t(14) << 24 | 30 << 16 | 15 << 8 | 12);
    EXPECT_EQ(Le16(image, c + 20), 1);
    EXPECT_EQ(Le16(image, c + 26), 4);
    EXPECT_EQ(image[c + 28], 0xFF);
    EXPECT_EQ(image[c + 32], 0xA0);
    EXPECT_EQ(std::string(image.begin() + c + 48, image.end()), "N   Firm");
}

class ArchivioChecks : public PromptsFixture {};

TEST_F(ArchivioChecks, InOrder) {
    Description d(
        "<Archive><Objects maxsize=\"64\"><Information selected=\"1\"/><Boot selected=\"1\"/><Firmware "
        "selected=\"1\"/><Iec selected=\"1\"/><Parameters selected=\"1\"/></Objects></Archive>");
    CArchivio a;
    a.Load(d.Root());
    using Step = std::function<void()>;
    const std::string warning =
        "Incompatibility warning: The parameters are for a different firmware version.\r\nIt is recommended "
        "to "
        "use parameters of the same version of the firmware\r\n\r\nContinue anyway?";
    struct Case {
        Step fix;  // applied before the check, cumulative
        std::vector<std::string> asked;
        std::string archiveName = "x.arc";
    };
    const Case cases[] = {
        {[] {}, {"Missing information: General information selected but not configured"}},
        {[&] { a.info->Configure(); }, {"Missing boot: Boot selected but not configured"}},
        {[&] {
             a.boot->binaryImage = {1};
             a.boot->build = 3;
         },
         {"Wrong boot: The boot selected is a beta version"}},
        {[&] { a.boot->build = 0; }, {"Missing firmware: Firmware selected but not configured"}},
        {[&] {
             a.firmware->xmlContent = {1};
             a.firmware->build = 1;
         },
         {"Wrong firmware: The firmware selected is a beta version"}},
        {[&] {
             a.firmware->build = 0;
             a.firmware->code = 30;
             a.firmware->version = 5;
             a.param->content = {1};
             a.param->type = 31;
         },
         {"Incompatibility error: The parameters are for a different firmware"}},
        {[&] {
             a.param->type = 30;
             a.param->swRev = 4;
             prompts_.PushAnswer(platform::IDNO);
         },
         {warning}},
        {[&] { prompts_.PushAnswer(platform::IDYES); },
         {warning, "Missing IEC: IEC program selected but not configured"}},
        {[&] {
             a.iec->binary = {1};
             a.param->swRev = 5;
             a.param->content.clear();
         },
         {"Missing parameters: Parameters selected but not configured"}},
        {[&] { a.param->content = {1}; }, {"Archive name: Please select a name for the archive"}, ""},
    };
    for (const Case& c : cases) {
        c.fix();
        EXPECT_FALSE(a.CheckBeforeWrite(c.archiveName)) << c.asked.back();
        EXPECT_EQ(Asked(), c.asked);
    }
    // 48 + 4 + 4 + 4 + 4 = 64: fits exactly; one byte more does not.
    EXPECT_TRUE(a.CheckBeforeWrite("x.arc"));
    EXPECT_TRUE(Asked().empty());
    a.param->content = {1, 2, 3, 4, 5};
    EXPECT_FALSE(a.CheckBeforeWrite("x.arc"));
    EXPECT_EQ(Asked(), std::vector<std::string>{"Archive size: The archive size is too big"});
}

TEST_F(ArchivioChecks, CompilerKeys) {
    const std::string firmwareXml =
        "<DEVICE><COMPILER><TARGET><COMPILER><FILEFORMAT "
        "compkeysoffset=\"4\"/></COMPILER></TARGET></COMPILER>"
        "<FIRMWARE>" +
        FirmwareBlockText({1, 2, 3}) + "</FIRMWARE></DEVICE>";
    const auto path = Write("fw.xml", firmwareXml);
    Description d(
        "<Archive><Objects><Firmware selected=\"1\"><Opt name=\"binary\" "
        "selected=\"1\"/></Firmware></Objects>"
        "</Archive>");
    CArchivio a;
    a.Load(d.Root());
    ASSERT_TRUE(a.LoadFirmware(path.string(), 30, 5, 0));
    EXPECT_EQ(a.firmware->binaryImage, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(a.firmware->xmlContent.empty());
    struct Case {
        std::vector<uint8_t> binary;
        std::string asked;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 2, 0, 31, 0, 1, 0, 30, 0, 5, 0}, ""},
        {{0, 0, 0, 0, 1, 0, 30, 0, 4, 0}, ""},
        {{0, 0, 0, 0, 1, 0, 30, 0, 6, 0},
         "Wrong IEC binary: The IEC program was compiled for a higher firmware version"},
        {{0, 0, 0, 0, 1, 0, 31, 0, 1, 0},
         "Wrong IEC binary: The IEC program was compiled for a different firmware"},
        {{0, 0, 0, 0, 9, 0, 31, 0},
         "Wrong IEC binary: The IEC program was compiled for a different firmware"},
        {{0, 0}, "Wrong IEC binary: The IEC program was compiled for a different firmware"},
    };
    for (const Case& c : cases) {
        a.iec->binary = c.binary;
        EXPECT_EQ(a.CheckBeforeWrite("x.arc"), c.asked.empty()) << c.asked;
        auto asked = Asked();
        EXPECT_EQ(asked, c.asked.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.asked});
    }
}

class FakeSource : public CArchiveSource {
  public:
    bool FindBestBoot(uint32_t hw, uint32_t bootCode, const CNodeCompInfo&, BootFile& found) override {
        askedBest = {hw, bootCode};
        if (best.path.empty()) return false;
        found = best;
        return true;
    }
    std::vector<IndexedFile> IndexedFiles() override { return files; }
    std::string IecEditorPath() override { return editorPath; }
    bool IsProgramLoaded() override { return programLoaded; }
    bool CompileIec() override {
        ++compiles;
        return compileOk;
    }
    BootFile best;
    std::pair<uint32_t, uint32_t> askedBest;
    std::vector<IndexedFile> files;
    std::string editorPath;
    bool programLoaded = true;
    bool compileOk = true;
    int compiles = 0;
};

class ArchivioContent : public PromptsFixture {
  protected:
    std::vector<uint8_t> BootFile(uint16_t code, uint16_t version, std::vector<uint16_t> hardware) {
        LegacyHeader h;
        h.code = code;
        h.major = version;
        h.hardware = std::move(hardware);
        h.managementFields = 5;
        auto bytes = h.Build();
        bytes[34] = 0;
        bytes[35] = 2;
        return bytes;
    }
};

TEST_F(ArchivioContent, Boot) {
    const auto bootImage = BootFile(20, 4, {410});
    const auto bootXml = Write("boot.xml", WrappedFirmware(bootImage));
    Description d(
        "<Archive><Objects><Boot selected=\"1\"><Opt name=\"same\" selected=\"1\"/><Opt name=\"binary\" "
        "selected=\"1\"/><Opt name=\"xml\" selected=\"1\"/></Boot></Objects></Archive>");
    CArchivio a;
    a.Load(d.Root());
    a.compInfo.Reset({});
    a.compInfo.hardware.code = 410;
    CNodeCompInfo node;
    node.hardware.code = 410;
    node.boot.code = 20;
    node.boot.version = 4;
    FakeSource source;

    EXPECT_FALSE(a.LoadBoot(source, node));
    EXPECT_EQ(Asked(), std::vector<std::string>{"Search boot: Boot not found"});

    source.files = {{410, 20, 3, "/nowhere"}, {410, 20, 4, bootXml}};
    ASSERT_TRUE(a.LoadBoot(source, node));
    EXPECT_TRUE(Asked().empty());
    EXPECT_EQ(a.boot->path, bootXml.string());
    EXPECT_EQ(a.boot->code, 20u);
    EXPECT_EQ(a.boot->version, 4u);
    EXPECT_EQ(a.boot->binaryImage, bootImage);
    EXPECT_EQ(a.boot->xmlContent, ReadAll(bootXml));

    a.compInfo.hardware.code = 411;  // the record runs on 410 only
    EXPECT_FALSE(a.LoadBoot(source, node));
    EXPECT_EQ(Asked(), std::vector<std::string>{
                           "Search boot: Boot found but not compatible with the actual firmware"});
    EXPECT_TRUE(a.boot->binaryImage.empty());

    a.boot->same.selected = 0;
    a.boot->best.selected = 1;
    a.boot->xml.selected = 0;
    EXPECT_FALSE(a.LoadBoot(source, node));
    EXPECT_EQ(Asked(), std::vector<std::string>{"Select boot: No compatible boot found"});
    EXPECT_EQ(source.askedBest, (std::pair<uint32_t, uint32_t>{410, 20}));
    source.best = {bootXml.string(), 20, 4, 1};
    ASSERT_TRUE(a.LoadBoot(source, node));
    EXPECT_EQ(a.boot->build, 1u);
    EXPECT_TRUE(a.boot->xmlContent.empty());  // unselected form freed
    EXPECT_EQ(a.boot->binaryImage, bootImage);

    a.boot->best.selected = 0;
    a.boot->compatible.selected = 1;
    a.boot->pickedPath = bootXml.string();
    a.boot->pickedCode = 21;
    ASSERT_TRUE(a.LoadBoot(source, node));
    EXPECT_EQ(a.boot->code, 21u);
}

TEST_F(ArchivioContent, IecAndParameters) {
    Description d(
        "<Archive><Objects><Iec selected=\"1\"><Opt name=\"editor\" selected=\"1\"><Opt name=\"compile\" "
        "selected=\"1\"/></Opt></Iec><Parameters selected=\"1\"/></Objects></Archive>");
    CArchivio a;
    a.Load(d.Root());
    FakeSource source;
    EXPECT_FALSE(a.LoadIec(source));
    EXPECT_EQ(Asked(), std::vector<std::string>{
                           "Program not found: Empty IEC program, please save a program from the editor"});
    source.editorPath = (dir_ / "prog.src").string();
    source.programLoaded = false;
    EXPECT_FALSE(a.LoadIec(source));
    EXPECT_EQ(Asked(),
              std::vector<std::string>{"Program not loaded: Please open the program in the Program tab"});
    source.programLoaded = true;
    source.compileOk = false;
    EXPECT_FALSE(a.LoadIec(source));
    EXPECT_EQ(Asked(), std::vector<std::string>{"Compile error: Error compiling IEC program"});
    source.compileOk = true;
    Write("prog.bin", std::vector<uint8_t>{7, 7, 7});
    ASSERT_TRUE(a.LoadIec(source));
    EXPECT_EQ(a.iec->binaryPath, (dir_ / "prog.bin").string());
    EXPECT_EQ(a.iec->binary, (std::vector<uint8_t>{7, 7, 7}));
    EXPECT_EQ(source.compiles, 2);

    const auto params =
        Write("p.xml", std::string("<DEVICE_PARAMETER Version=\"2\"><DEVICE Type=\"30\" SwRev=\"5\" "
                                   "build=\"2\"/></DEVICE_PARAMETER>"));
    ASSERT_TRUE(a.LoadParameters(params.string()));
    EXPECT_EQ(a.param->type, 30u);
    EXPECT_EQ(a.param->swRev, 5u);
    EXPECT_EQ(a.param->build, 2u);
    EXPECT_EQ(a.param->content, ReadAll(params));
    EXPECT_FALSE(a.LoadParameters((dir_ / "missing.xml").string()));
    EXPECT_TRUE(a.param->content.empty());
}

TEST_F(ArchivioContent, IecBinaryPathReplacesTheExtensionOfTheFileNameOnly) {
    Description d(
        "<Archive><Objects><Iec selected=\"1\"><Opt name=\"editor\" "
        "selected=\"1\"/></Iec></Objects></Archive>");
    CArchivio a;
    a.Load(d.Root());
    FakeSource source;
    struct Case {
        const char* editor;
        const char* binary;
    } cases[] = {
        {"prog.src", "prog.bin"},
        {"my.proj/prog.src", "my.proj/prog.bin"},
        {"my.proj/prog", "my.proj/prog"},  // no extension: the path itself
        {"my.proj/prog.v2.src", "my.proj/prog.v2.bin"},
    };
    for (const Case& c : cases) {
        std::filesystem::create_directories(dir_ / "my.proj");
        Write(c.binary, std::vector<uint8_t>{1, 2});
        source.editorPath = (dir_ / c.editor).string();
        EXPECT_TRUE(a.LoadIec(source)) << c.editor;
        EXPECT_EQ(a.iec->binaryPath, (dir_ / c.binary).string()) << c.editor;
    }
}

TEST_F(ArchivioContent, WriteFile) {
    CArchivio a;
    Fill(a, "1");
    const auto file = dir_ / "out.arc";
    ASSERT_TRUE(a.Write(file, 410));
    EXPECT_EQ(Asked(), std::vector<std::string>{"Archive: Archive successfull created."});
    const auto bytes = ReadAll(file);
    EXPECT_EQ(bytes, a.BuildImage(410, {}));

    // A failed write leaves the old file whole.
    EXPECT_FALSE(a.Write(dir_ / "missing" / "out.arc", 410));
    EXPECT_EQ(Asked(), std::vector<std::string>{"Archive: Error creating archive file."});
    EXPECT_EQ(ReadAll(file), bytes);
}

}  // namespace
