#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "IdentityTestTree.h"
#include "foundation/CompileIEC.h"
#include "foundation/ProgramFolders.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"

using namespace foundation;

namespace fs = std::filesystem;

namespace {

class TextWindow : public CBuildOutputWindow {
  public:
    std::string GetText() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
    void ScrollToLastLine() override { ++scrolls; }
    std::string text;
    int scrolls = 0;
};

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A program folder holding the stand-in tools, a project folder with the program and
// its settings file, and a temporary folder of its own.
class IecBuild : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* oldTemp = getenv("TUNOVA_TEMP_DIR");
        savedTemp_ = oldTemp ? oldTemp : "";
        hadTemp_ = oldTemp != nullptr;
        setenv("TUNOVA_TEMP_DIR", (tree_.Root() / "tmp").c_str(), 1);
        fs::create_directories(tree_.Root() / "tmp");
        bin_ = tree_.Root() / "bin";
        for (const char* tool : {"STCompiler.exe", "Assembler.exe"}) {
            fs::copy_file(fs::path(TUNOVA_FIXTURES) / "foundation" / "iec" / tool, bin_ / tool);
            fs::permissions(bin_ / tool, fs::perms::owner_all);
        }
        project_ = tree_.Root() / "prj";
        fs::create_directories(project_);
        identity_test::WriteText(project_ / "Main.st", "PROGRAM Main\nEND_PROGRAM\n");
        WriteSettings("TWFu");
        compile_.SetProgramFile((project_ / "Main.st").string());
        compile_.SetSettingsFile((project_ / "Main.xml").string());
        platform::SetPromptService(&prompts_);
    }
    void TearDown() override {
        platform::SetPromptService(nullptr);
        if (hadTemp_) {
            setenv("TUNOVA_TEMP_DIR", savedTemp_.c_str(), 1);
        } else {
            unsetenv("TUNOVA_TEMP_DIR");
        }
    }

    void WriteSettings(const std::string& library) {
        identity_test::WriteText(project_ / "Main.xml",
                                 "<PROJECT>\r\n\t<COMPILER>\r\n\t\t<TARGET name=\"t\">\r\n\t\t\t<LIBRARY>" +
                                     library +
                                     "</LIBRARY>\r\n\t\t</TARGET>\r\n\t</COMPILER>\r\n</PROJECT>\r\n");
    }

    // Loads a Build element and sets it as the drive object does.
    void SetScript(const std::string& xml) {
        ASSERT_EQ(doc_.LoadXml(xml), S_OK) << xml;
        compile_.SetBuildElement(&doc_.Root());
    }

    identity_test::TempTree tree_;
    std::string savedTemp_;
    bool hadTemp_ = false;
    fs::path bin_;
    fs::path project_;
    platform::ScriptedPrompts prompts_;
    CXmlDocument doc_;
    CCompileIEC compile_;
};

TEST_F(IecBuild, VariablesExpand) {
    setenv("TUNOVA_IEC_TEST_VAR", "value", 1);
    unsetenv("TUNOVA_IEC_UNSET_VAR");
    setenv("TUNOVA_IEC_LONG_VAR", std::string(260, 'L').c_str(), 1);
    setenv("TUNOVA_IEC_SELF_VAR", "$env{TUNOVA_IEC_SELF_VAR}", 1);
    SetScript("<Build PrgName=\"Axis\" PrgVersion=\"1.2\"/>");
    const std::string prj = project_.string();
    const struct {
        const char* text;
        std::string expanded;
    } cases[] = {
        {"${FileBaseName}.bin", "Main.bin"},
        {"${FileDir}", prj + "/"},
        {"${File}|${FileName}|${FileBaseExt}|${FileOther}", prj + "/Main.st|Main.st|st|" + prj + "/Main.st"},
        {"${XmlBaseName}.${XmlBaseExt}", "Main.xml"},
        {"${InstallPath}/tool", bin_.string() + "/tool"},
        {"$env{TUNOVA_IEC_UNSET_VAR}x", "x"},
        {"<$env{TUNOVA_IEC_TEST_VAR}><$env{TUNOVA_IEC_TEST_VAR}>", "<value><value>"},
        {"$env{TUNOVA_IEC_LONG_VAR}", "$env{TUNOVA_IEC_LONG_VAR}"},
        {"$env{TUNOVA_IEC_SELF_VAR}!", "$env{TUNOVA_IEC_SELF_VAR}!"},
        {"${PrgVersion} ${PrgVersion}", "1.2 ${PrgVersion}"},
        {"${PrgName}-${PrgName}", "Axis-${PrgName}"},
        {"${FileName", "${FileName"},
        {"plain", "plain"},
    };
    for (const auto& c : cases) {
        std::string out;
        compile_.ExpandVariables(out, c.text);
        EXPECT_EQ(out, c.expanded) << c.text;
    }
    SetScript("<Build/>");
    std::string out;
    compile_.ExpandVariables(out, "${PrgName}");
    EXPECT_EQ(out, "Main.st");
    for (const char* name : {"TUNOVA_IEC_TEST_VAR", "TUNOVA_IEC_LONG_VAR", "TUNOVA_IEC_SELF_VAR"})
        unsetenv(name);
}

TEST_F(IecBuild, LibraryFileIsDecodedLeastSignificantFirst) {
    std::string out;
    compile_.ExpandVariables(out, "${Library} ${Library}");
    const fs::path library = tree_.Root() / "tmp" / "Firmware library.~st";
    EXPECT_EQ(out, "\"" + library.string() + "\" ${Library}");
    EXPECT_EQ(ReadFile(library), std::string("\x93\x55\xB8", 3));
    // Made anew: a second make replaces the file, destruction removes it.
    {
        CCompileIEC other;
        other.SetSettingsFile(compile_.GetSettingsFile());
        EXPECT_EQ(other.MakeLibraryFile(), 0);
        EXPECT_EQ(other.GetLibraryFile(), library.string());
    }
    EXPECT_FALSE(fs::exists(library));
}

TEST_F(IecBuild, LibraryFileResults) {
    const struct {
        const char* settings;  // null: no settings file path
        int32_t result;
    } cases[] = {
        {nullptr, -1},
        {"<PROJECT><COMPILER></PROJECT>", -2},
        {"<PROJECT><OTHER/></PROJECT>", -3},
        {"<PROJECT><COMPILER/></PROJECT>", -4},
        {"<PROJECT><COMPILER><TARGET/></COMPILER></PROJECT>", -4},
        {"<PROJECT><COMPILER><TARGET><LIBRARY>!!</LIBRARY></TARGET></COMPILER></PROJECT>", -4},
        {"<PROJECT><COMPILER><TARGET><LIBRARY>TWFu</LIBRARY></TARGET></COMPILER></PROJECT>", 0},
    };
    for (const auto& c : cases) {
        CCompileIEC compile;
        if (c.settings) {
            identity_test::WriteText(project_ / "s.xml", c.settings);
            compile.SetSettingsFile((project_ / "s.xml").string());
        }
        EXPECT_EQ(compile.MakeLibraryFile(), c.result) << (c.settings ? c.settings : "(none)");
        EXPECT_EQ(compile.GetLibraryFile().empty(), c.result != 0);
    }
    // A temporary folder that cannot hold the file: the name is kept, the result is -7.
    setenv("TUNOVA_TEMP_DIR", (tree_.Root() / "missing").c_str(), 1);
    EXPECT_EQ(compile_.MakeLibraryFile(), -7);
    EXPECT_FALSE(compile_.GetLibraryFile().empty());
}

TEST_F(IecBuild, MissingLibraryGivesEmptyQuotesAndIsTriedAgain) {
    identity_test::WriteText(project_ / "Main.xml", "<PROJECT><COMPILER><TARGET/></COMPILER></PROJECT>");
    std::string out;
    compile_.ExpandVariables(out, "lib ${Library}");
    EXPECT_EQ(out, "lib \"\"");
    WriteSettings("TWFu");
    compile_.ExpandVariables(out, "lib ${Library}");
    EXPECT_EQ(out, "lib \"" + (tree_.Root() / "tmp" / "Firmware library.~st").string() + "\"");
}

TEST_F(IecBuild, ProgramInfoMergesTargets) {
    SetScript(
        "<Build version=\"2\" PrgName=\"P\" PrgVersion=\"3\"><target name=\"a\"><echo>1</echo></target>"
        "<target><echo>unnamed</echo></target><target name=\"b\"/></Build>");
    EXPECT_EQ(compile_.GetScriptVersion(), 2);
    EXPECT_EQ(compile_.GetTargetName(), "a");
    EXPECT_EQ(compile_.GetProgramName(), "P");
    EXPECT_EQ(compile_.GetProgramVersion(), "3");
    EXPECT_NE(compile_.GetScriptText().find("<Build>\r\n"), std::string::npos) << compile_.GetScriptText();

    CXmlDocument more;
    ASSERT_EQ(more.LoadXml("<Build version=\"2\" target=\"b\"><target name=\"a\"><echo>2</echo></target>"
                           "<target name=\"c\"/></Build>"),
              S_OK);
    compile_.ReadProgramInfo(&more.Root());
    EXPECT_EQ(compile_.GetTargetName(), "b");
    CXmlNode& script = compile_.BuildScript().Root();
    ASSERT_EQ(script.GetChildCount("target"), 3);
    EXPECT_EQ(script.Children()[0]->GetAttribute("name"), "a");
    EXPECT_EQ(script.Children()[0]->FindNode("echo")->Value(), "2");
    EXPECT_EQ(script.Children()[2]->GetAttribute("name"), "c");

    // Another script version: names read, targets left alone.
    ASSERT_EQ(more.LoadXml("<Build version=\"1\" PrgName=\"Q\" target=\"z\"><target name=\"z\"/></Build>"),
              S_OK);
    compile_.ReadProgramInfo(&more.Root());
    EXPECT_EQ(compile_.GetProgramName(), "Q");
    EXPECT_EQ(compile_.GetTargetName(), "b");
    EXPECT_EQ(script.GetChildCount("target"), 3);
}

TEST_F(IecBuild, BuildResultsAndMessages) {
    const std::string noTarget =
        "No target selected.\r\nPlease select a target in the Program properties menu.";
    const struct {
        const char* script;
        int32_t result;
        const char* message;  // message box text, null for none
        const char* lastLine;
    } cases[] = {
        {"<Build version=\"0\"/>", -3,
         "Drive's virtual machine version no longer supported.\r\nPlease upgrade the drive firmware.", ""},
        {"<Build/>", -3, noTarget.c_str(), ""},
        {"<Build target=\"x\"><target name=\"a\"/></Build>", -4, "internal error:target not found", ""},
        {"<Build><target name=\"a\"/></Build>", 0, nullptr, ""},
        {"<Build><target name=\"a\"><delete file=\"nothing.bin\" "
         "failonerror=\"0\"/><echo>ok</echo></target></Build>",
         0, nullptr, "ok"},
        {"<Build><target name=\"a\"><delete file=\"nothing.bin\" failonerror=\"0\"/><!-- note "
         "--></target></Build>",
         1, nullptr, ""},
        {"<Build><target name=\"a\"><delete file=\"nothing.bin\" failonerror=\"0\"/><mkdir/><echo>no</echo>"
         "</target></Build>",
         1, nullptr, "Build process failed."},
        {"<Build><target name=\"a\"><delete file=\"nothing.bin\" failonerror=\"0\"/><mkdir "
         "failonerror=\"0\"/>"
         "<echo>yes</echo></target></Build>",
         0, nullptr, "yes"},
        {"<Build><target name=\"a\"><delete file=\"nothing.bin\"/><echo>never</echo></target></Build>", 1,
         nullptr, "Build process failed."},
        {"<Build><target name=\"a\"><copy file=\"\" todir=\"x\"/><copy "
         "file=\"Main.st\"/><echo>${PrgName}</echo>"
         "</target></Build>",
         0, nullptr, "Main.st"},
    };
    const fs::path before = fs::current_path();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        SetScript(c.script);
        TextWindow window;
        window.text = "old text";
        prompts_.Clear();
        EXPECT_EQ(compile_.Build(&window), c.result);
        EXPECT_EQ(fs::current_path(), before);
        const auto asked = prompts_.Asked();
        if (c.message) {
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0].text, c.message);
            EXPECT_EQ(asked[0].caption, "Build process");
            EXPECT_EQ(asked[0].flags & platform::MB_ICONMASK, platform::MB_ICONERROR);
        } else {
            EXPECT_TRUE(asked.empty());
        }
        const size_t cut = window.text.rfind("\r\n");
        EXPECT_EQ(cut == std::string::npos ? window.text : window.text.substr(cut + 2), c.lastLine);
        // Without a window nothing is asked.
        prompts_.Clear();
        EXPECT_EQ(compile_.Build(nullptr), c.result);
        EXPECT_EQ(prompts_.AskedCount(), 0u);
    }
    // A program file whose folder is not there.
    SetScript("<Build><target name=\"a\"/></Build>");
    compile_.SetProgramFile((tree_.Root() / "gone" / "Main.st").string());
    EXPECT_EQ(compile_.Build(nullptr), -2);
    compile_.SetProgramFile("Main.st");
    EXPECT_EQ(compile_.Build(nullptr), -2);
}

TEST_F(IecBuild, CopyAndDeleteWorkInTheProgramFolder) {
    fs::create_directories(project_ / "out");
    SetScript(
        "<Build><target name=\"a\"><copy file=\"${FileDir}${FileBaseName}.st\" todir=\"${FileDir}out\"/>"
        "<copy file=\"Main.st\" tofile=\"out\\Copy.st\"/><copy file=\"Main.st\" tofile=\"out/Copy.st\"/>"
        "<delete file=\"out\\Main.st\"/></target></Build>");
    EXPECT_EQ(compile_.Build(nullptr), 0);
    EXPECT_FALSE(fs::exists(project_ / "out" / "Main.st"));
    EXPECT_EQ(ReadFile(project_ / "out" / "Copy.st"), ReadFile(project_ / "Main.st"));
    SetScript("<Build><target name=\"a\"><copy file=\"none.st\" todir=\"out\"/></target></Build>");
    EXPECT_EQ(compile_.Build(nullptr), 1);
    SetScript(
        "<Build><target name=\"a\"><copy file=\"Main.st\" tofile=\"no/such/folder/x\"/></target></Build>");
    EXPECT_EQ(compile_.Build(nullptr), 1);
}

constexpr const char* kToolScript =
    "<Build version=\"1\" PrgName=\"Axis\" PrgVersion=\"2.0\" target=\"drive\">"
    "<target name=\"drive\">"
    "<echo>Building ${PrgName} ${PrgVersion}</echo>"
    "<exec>\"$env{CommonProgramFiles}\\Vkr\\STCompiler.exe\" ${FileName} ${FileBaseName}.obj "
    "${Library}</exec>"
    "<exec successcode=\"0\">\"$env{CommonProgramFiles}\\Vkr\\Assembler.exe\" ${FileBaseName}.obj "
    "${FileBaseName}.bin ${PrgName} ${PrgVersion}</exec>"
    "<delete file=\"${FileBaseName}.obj\"/>"
    "<echo>done</echo>"
    "</target></Build>";

TEST_F(IecBuild, ToolsRunFromTheProgramFolder) {
    SetScript(kToolScript);
    TextWindow window;
    ASSERT_EQ(compile_.Build(&window), 0) << window.text;
    EXPECT_EQ(ReadFile(project_ / "Main.bin"), "BIN Axis 2.0\nPROGRAM Main\nEND_PROGRAM\n");
    EXPECT_FALSE(fs::exists(project_ / "Main.obj"));
    const std::string library = (tree_.Root() / "tmp" / "Firmware library.~st").string();
    EXPECT_EQ(window.text, "Building Axis 2.0\r\nSTCompiler Main.st Main.obj " + library +
                               "\nlibrary 3 bytes\n\r\nAssembler Main.obj Main.bin Axis 2.0\n\r\ndone");
    EXPECT_GT(window.scrolls, 0);
}

TEST_F(IecBuild, FailingToolEndsTheBuild) {
    identity_test::WriteText(project_ / "Main.st", "PROGRAM Main\nERROR\n");
    SetScript(kToolScript);
    TextWindow window;
    EXPECT_EQ(compile_.Build(&window), 1);
    EXPECT_NE(window.text.find("Main.st(1): error: syntax error"), std::string::npos) << window.text;
    EXPECT_EQ(window.text.substr(window.text.size() - 23), "\r\nBuild process failed.");
    EXPECT_EQ(window.text.find("Assembler"), std::string::npos);

    // The exit code that counts as success is the script's.
    SetScript("<Build><target name=\"a\"><exec successcode=\"2\">\"" + (bin_ / "STCompiler.exe").string() +
              "\" ${FileName} x.obj</exec></target></Build>");
    EXPECT_EQ(compile_.Build(nullptr), 0);

    // A tool that is not there is a failed task, with the reason in the output.
    fs::remove(bin_ / "Assembler.exe");
    identity_test::WriteText(project_ / "Main.st", "PROGRAM Main\n");
    SetScript(kToolScript);
    EXPECT_EQ(compile_.Build(&window), 1);
    EXPECT_NE(window.text.find("Cannot start"), std::string::npos) << window.text;
    EXPECT_NE(window.text.find("Assembler.exe"), std::string::npos);
}

TEST(IecBuildText, AppendOutputLineAndNodeText) {
    AppendOutputLine(nullptr, "nothing");
    TextWindow window;
    AppendOutputLine(&window, "a");
    AppendOutputLine(&window, "b");
    EXPECT_EQ(window.text, "a\r\nb");
    EXPECT_EQ(window.scrolls, 2);

    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<Build><target name=\"a\"><echo>x</echo></target></Build>"), S_OK);
    const std::string text = XmlNodeToString(doc.Root().FindNode("target"));
    EXPECT_EQ(text.find("<target name=\"a\">"), text.find('<')) << text;
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Build"), std::string::npos);
}

}  // namespace
