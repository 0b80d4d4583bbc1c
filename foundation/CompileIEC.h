#pragma once

#include <cstdint>
#include <string>

#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

namespace foundation {

// The multi-line text window a build writes into (an edit control in the window layer).
class CBuildOutputWindow {
  public:
    virtual ~CBuildOutputWindow() = default;
    virtual std::string GetText() const = 0;
    virtual void SetText(const std::string& text) = 0;
    // Scrolls so that the last line shows.
    virtual void ScrollToLastLine() = 0;
};

// Adds the text to the window's text, after a CR LF when there is text already, and
// scrolls to the last line. Nothing without a window.
void AppendOutputLine(CBuildOutputWindow* window, const std::string& text);

// The node copied into a new document, as formatted text with CR LF line ends.
std::string XmlNodeToString(const CXmlNode* node);

// Builds a drive's IEC program with the build script of its drive description
// ("Program\Build"): expands the script's variables and runs the tasks of the selected
// target ("echo", "exec", "delete", "copy") in order. Tools run in the program
// file's folder; the caller's working folder never changes.
class CCompileIEC {
  public:
    CCompileIEC();
    virtual ~CCompileIEC();
    CCompileIEC(const CCompileIEC&) = delete;
    CCompileIEC& operator=(const CCompileIEC&) = delete;

    // What the drive object does with the description's "Build" element: clear the
    // script, name its root "Build", take the element's "version" (default 1) as
    // script version, ReadProgramInfo, and keep the script as text.
    void SetBuildElement(CXmlNode* build);
    // Reads "PrgName", "PrgVersion"; when "version" (default 1) equals the script
    // version, takes "target" as target name and merges the element's named "target"
    // children into the script (same name replaced, others appended); without a target
    // name, the name of the script's first target.
    void ReadProgramInfo(CXmlNode* build);

    // Every variable of the text expanded into out (which may be text itself).
    void ExpandVariables(std::string& out, const std::string& text);
    // Makes the temporary library file from the settings file: 0 made, -1 no settings
    // file path, -2 it does not load, -3 no "COMPILER", -4 no "TARGET"/"LIBRARY" or an
    // empty payload, -7 the file cannot be created, -6 it could not be written whole.
    int32_t MakeLibraryFile();
    // Runs the selected target: 0 success, 1 a task failed, -2 the program file's folder
    // cannot be used, -3 no target selected, -4 the target is not in the script.
    int32_t Build(CBuildOutputWindow* window);
    // Tasks: true when they failed.
    bool Exec(CXmlNode* task);
    bool Copy(CXmlNode* task);

    int32_t GetScriptVersion() const { return m_nScriptVersion; }
    void SetScriptVersion(int32_t version) { m_nScriptVersion = version; }
    const std::string& GetTargetName() const { return m_strTarget; }
    void SetTargetName(const std::string& name) { m_strTarget = name; }
    const std::string& GetScriptText() const { return m_strScriptText; }
    void SetScriptText(const std::string& text) { m_strScriptText = text; }
    CXmlDocument& BuildScript() { return m_script; }
    const std::string& GetProgramFile() const { return m_strProgramFile; }
    void SetProgramFile(const std::string& path) { m_strProgramFile = path; }
    const std::string& GetSettingsFile() const { return m_strSettingsFile; }
    void SetSettingsFile(const std::string& path) { m_strSettingsFile = path; }
    const std::string& GetLibraryFile() const { return m_strLibraryFile; }
    const std::string& GetProgramName() const { return m_strPrgName; }
    const std::string& GetProgramVersion() const { return m_strPrgVersion; }

  private:
    bool Delete(CXmlNode* task);
    std::string TaskPath(const std::string& text);
    void DeleteLibraryFile();
    int32_t BuildError(const char* text, int32_t result);

    int32_t m_nScriptVersion = 1;
    CBuildOutputWindow* m_pOutput = nullptr;
    std::string m_strTarget;
    std::string m_strScriptText;
    CXmlDocument m_script;
    std::string m_strProgramFile;
    std::string m_strSettingsFile;
    std::string m_strLibraryFile;
    std::string m_strPrgVersion;
    std::string m_strPrgName;
    std::string m_strWorkFolder;  // the program file's folder while a build runs
};

}  // namespace foundation
