#include "foundation/CompileIEC.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "foundation/ProgramFolders.h"
#include "foundation/SharedUtilities.h"
#include "foundation/Spawn.h"
#include "platform/AtomicFile.h"
#include "platform/ChildProcess.h"
#include "platform/File.h"
#include "platform/Folders.h"
#include "platform/Prompt.h"

namespace foundation {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCaption = "Build process";
constexpr const char* kLibraryName = "Firmware library.~st";
// Longest environment value put into a text; longer ones leave the reference as it is.
constexpr size_t kMaxEnvValue = 259;
// The tool chain's usual place in the descriptions; the tools lie in the program folder.
constexpr const char* kToolsFolderRef = "$env{CommonProgramFiles}\\Vkr";
constexpr const char* kCompilerRef = "$env{CommonProgramFiles}\\Vkr\\STCompiler.exe";
constexpr const char* kAssemblerRef = "$env{CommonProgramFiles}\\Vkr\\Assembler.exe";

bool IsReservedNode(const CXmlNode* node) {
    const std::string& name = node->Name();
    return name.empty() || name == CXmlNode::kProcessingInstruction || name == CXmlNode::kComment ||
           name == CXmlNode::kCData || name == CXmlNode::kDeclaration;
}

// Every occurrence; the search goes on after each inserted value, so a value that
// holds the reference again is not expanded twice.
void ReplaceAll(std::string& text, const std::string& key, const std::string& value) {
    for (size_t pos = text.find(key); pos != std::string::npos; pos = text.find(key, pos + value.size()))
        text.replace(pos, key.size(), value);
}

void ReplaceFirst(std::string& text, const std::string& key, const std::string& value) {
    const size_t pos = text.find(key);
    if (pos != std::string::npos) text.replace(pos, key.size(), value);
}

// A part of a file path: "" the whole path, "Name" name and extension, "BaseName" the
// name alone, "BaseExt" the extension without its dot, "Dir" the folder with its
// trailing separator; any other selector gives the whole path.
std::string PathPart(const std::string& path, const std::string& selector) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (selector == "Name") return name;
    if (selector == "BaseName") return dot == std::string::npos ? name : name.substr(0, dot);
    if (selector == "BaseExt") return dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (selector == "Dir") return dir;
    return path;
}

// "${<prefix><selector>}" references replaced by the parts of the path.
void ExpandPathReferences(std::string& text, const std::string& prefix, const std::string& path) {
    const std::string open = "${" + prefix;
    size_t pos = text.find(open);
    while (pos != std::string::npos) {
        const size_t close = text.find('}', pos + open.size());
        if (close == std::string::npos) break;
        const std::string value = PathPart(path, text.substr(pos + open.size(), close - pos - open.size()));
        text.replace(pos, close + 1 - pos, value);
        pos = text.find(open, pos + value.size());
    }
}

void ExpandEnvironment(std::string& text) {
    static const std::string open = "$env{";
    size_t pos = text.find(open);
    while (pos != std::string::npos) {
        const size_t close = text.find('}', pos + open.size());
        if (close == std::string::npos) break;
        const std::string name = text.substr(pos + open.size(), close - pos - open.size());
        const char* raw = name.empty() ? nullptr : std::getenv(name.c_str());
        const std::string value = raw ? raw : "";
        if (value.size() > kMaxEnvValue) {
            pos = text.find(open, close + 1);
            continue;
        }
        text.replace(pos, close + 1 - pos, value);
        pos = text.find(open, pos + value.size());
    }
}

bool CopyFileContents(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) return false;
    std::ifstream in(from, std::ios::binary);
    if (!in) return false;
    platform::AtomicFileWriter out;
    if (!out.Open(to)) return false;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = in.gcount();
        if (got > 0 && !out.Write(buffer.data(), static_cast<size_t>(got))) return false;
    }
    if (in.bad()) return false;
    return out.Commit();
}

}  // namespace

void AppendOutputLine(CBuildOutputWindow* window, const std::string& text) {
    if (!window) return;
    std::string all = window->GetText();
    if (!all.empty()) all += "\r\n";
    all += text;
    window->SetText(all);
    window->ScrollToLastLine();
}

std::string XmlNodeToString(const CXmlNode* node) {
    CXmlDocument doc;
    doc.Root().Copy(node);
    std::string text;
    doc.GetXmlFormatted(text);
    return text;
}

CCompileIEC::CCompileIEC() = default;

CCompileIEC::~CCompileIEC() {
    DeleteLibraryFile();
}

void CCompileIEC::SetBuildElement(CXmlNode* build) {
    m_script.Root().Clear();
    m_script.Root().SetName("Build");
    m_nScriptVersion = build ? build->GetAttributeInt("version", 1) : 1;
    ReadProgramInfo(build);
    m_strScriptText = XmlNodeToString(&m_script.Root());
}

void CCompileIEC::ReadProgramInfo(CXmlNode* build) {
    if (!build) return;
    m_strPrgName = build->GetAttribute("PrgName");
    m_strPrgVersion = build->GetAttribute("PrgVersion");
    if (build->GetAttributeInt("version", 1) != m_nScriptVersion) return;
    m_strTarget = build->GetAttribute("target");
    CXmlNode& root = m_script.Root();
    for (const CXmlNode* target : build->Children()) {
        if (target->Name() != "target") continue;
        const std::string name = target->GetAttribute("name");
        if (name.empty()) continue;
        CXmlNode* existing = nullptr;
        for (CXmlNode* child : root.Children()) {
            if (child->Name() == "target" && child->GetAttribute("name") == name) {
                existing = child;
                break;
            }
        }
        if (!existing) existing = root.AddChild("target");
        existing->Copy(target);
    }
    if (m_strTarget.empty()) {
        for (const CXmlNode* child : root.Children()) {
            if (child->Name() == "target") {
                m_strTarget = child->GetAttribute("name");
                break;
            }
        }
    }
}

void CCompileIEC::ExpandVariables(std::string& out, const std::string& text) {
    std::string result = text;
    ReplaceAll(result, "${InstallPath}", GetProgramFolder().string());
    ExpandEnvironment(result);
    ExpandPathReferences(result, "File", m_strProgramFile);
    ExpandPathReferences(result, "Xml", m_strSettingsFile);
    if (result.find("${Library}") != std::string::npos) {
        if (m_strLibraryFile.empty()) MakeLibraryFile();
        ReplaceFirst(result, "${Library}", "\"" + m_strLibraryFile + "\"");
    }
    ReplaceFirst(result, "${PrgName}",
                 m_strPrgName.empty() ? PathPart(m_strProgramFile, "Name") : m_strPrgName);
    ReplaceFirst(result, "${PrgVersion}", m_strPrgVersion);
    out = std::move(result);
}

void CCompileIEC::DeleteLibraryFile() {
    if (!m_strLibraryFile.empty()) platform::RemoveFile(m_strLibraryFile);
    m_strLibraryFile.clear();
}

int32_t CCompileIEC::MakeLibraryFile() {
    DeleteLibraryFile();
    if (m_strSettingsFile.empty()) return -1;
    CXmlDocument settings;
    if (settings.Load(fs::path(m_strSettingsFile)) != S_OK) return -2;
    const CXmlNode* compiler = settings.Root().FindNode("COMPILER");
    if (!compiler) return -3;
    const CXmlNode* library = compiler->FindNode("TARGET\\LIBRARY");
    if (!library) return -4;
    const std::vector<uint8_t> bytes = Base64DecodeLsbFirst(library->Value());
    if (bytes.empty()) return -4;

    m_strLibraryFile = (platform::TempFolder() / kLibraryName).string();
    // The temporary folder is shared: never write through a link or into someone
    // else's file left under the same name.
    platform::RemoveFile(m_strLibraryFile);
    platform::File file;
    if (file.Open(m_strLibraryFile, platform::FileAccess::kWriteNewPrivate) != 0) return -7;
    const bool written = file.WriteAll(bytes.data(), bytes.size());
    const bool closed = file.Close();
    if (!written || !closed) {
        // A part of a library would only make the compiler fail later, less clearly.
        platform::RemoveFile(m_strLibraryFile);
        return -6;
    }
    return 0;
}

std::string CCompileIEC::TaskPath(const std::string& text) {
    std::string path;
    ExpandVariables(path, text);
    // Descriptions may write paths with backslashes.
    for (char& c : path)
        if (c == '\\') c = '/';
    if (!path.empty() && path[0] != '/' && !m_strWorkFolder.empty())
        path = (fs::path(m_strWorkFolder) / path).string();
    return path;
}

bool CCompileIEC::Exec(CXmlNode* task) {
    std::string command = task->Value();
    if (command.find(kCompilerRef) != std::string::npos || command.find(kAssemblerRef) != std::string::npos)
        ReplaceAll(command, kToolsFolderRef, GetProgramFolder().string());
    ExpandVariables(command, command);
    // The program itself may be written with backslashes; its arguments are the tool's own business.
    std::vector<std::string> args = platform::SplitCommandLine(command);
    if (!args.empty()) {
        for (char& c : args[0])
            if (c == '\\') c = '/';
    }
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty()) line += ' ';
        if (arg.empty() || arg.find_first_of(" \t\"\\") != std::string::npos) {
            line += '"';
            for (size_t i = 0; i < arg.size(); ++i) {
                size_t slashes = 0;
                while (i < arg.size() && arg[i] == '\\') ++slashes, ++i;
                if (i == arg.size()) {
                    line.append(slashes * 2, '\\');
                    break;
                }
                if (arg[i] == '"') {
                    line.append(slashes * 2 + 1, '\\');
                } else {
                    line.append(slashes, '\\');
                }
                line += arg[i];
            }
            line += '"';
        } else {
            line += arg;
        }
    }

    CSpawn spawn(100);
    int exitCode = -1;
    bool started = spawn.Open(line.c_str(), m_strWorkFolder);
    if (started) {
        spawn.Printf("\n");
        started = spawn.WaitProcess(0xFFFFFFFFu, &exitCode);
    } else {
        spawn.AppendOutput(("Cannot start " + command + ": " + spawn.LastError()).c_str());
    }
    spawn.Close();
    if (m_pOutput) AppendOutputLine(m_pOutput, spawn.Output());
    return !started || exitCode != task->GetAttributeInt("successcode", 0);
}

bool CCompileIEC::Delete(CXmlNode* task) {
    const std::string file = TaskPath(task->GetAttribute("file"));
    return file.empty() || platform::RemoveFile(file) != 0;
}

bool CCompileIEC::Copy(CXmlNode* task) {
    const std::string file = task->GetAttribute("file");
    if (file.empty()) return false;
    const fs::path from = TaskPath(file);
    fs::path to;
    const std::string toFile = task->GetAttribute("tofile");
    const std::string toDir = task->GetAttribute("todir");
    if (!toFile.empty()) {
        to = TaskPath(toFile);
    } else if (!toDir.empty()) {
        to = fs::path(TaskPath(toDir)) / from.filename();
    } else {
        return false;
    }
    return !CopyFileContents(from, to);
}

int32_t CCompileIEC::BuildError(const char* text, int32_t result) {
    if (m_pOutput) platform::Prompts().MessageBox(text, kCaption, platform::MB_OK | platform::MB_ICONERROR);
    return result;
}

int32_t CCompileIEC::Build(CBuildOutputWindow* window) {
    m_pOutput = window;
    if (window) window->SetText("");
    if (m_strTarget.empty()) {
        return BuildError(
            m_nScriptVersion == 0
                ? "Drive's virtual machine version no longer supported.\r\nPlease upgrade the drive "
                  "firmware."
                : "No target selected.\r\nPlease select a target in the Program properties menu.",
            -3);
    }
    // The tools run in the program file's folder; ours stays where it is.
    const std::string folder = PathPart(m_strProgramFile, "Dir");
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec))
        return BuildError("SetCurrentDirectory() failed", -2);

    CXmlNode* target = nullptr;
    for (CXmlNode* child : m_script.Root().Children()) {
        if (child->Name() == "target" && child->GetAttribute("name") == m_strTarget) {
            target = child;
            break;
        }
    }
    if (!target) return BuildError("internal error:target not found", -4);

    m_strWorkFolder = folder;
    int32_t result = 0;
    bool stop = false;
    // A copy of the list: the tasks never change the script, but the list must not move under us.
    const std::vector<CXmlNode*> tasks(target->Children().begin(), target->Children().end());
    for (CXmlNode* task : tasks) {
        if (IsReservedNode(task)) continue;
        const std::string& name = task->Name();
        const bool failOnError = task->GetAttributeInt("failonerror", 1) != 0;
        bool known = true;
        bool failed = false;
        if (name == "echo") {
            std::string text;
            ExpandVariables(text, task->Value());
            AppendOutputLine(m_pOutput, text);
        } else if (name == "exec") {
            failed = Exec(task);
        } else if (name == "delete") {
            failed = Delete(task);
        } else if (name == "copy") {
            failed = Copy(task);
        } else {
            known = false;
        }
        if (known) result = failed ? 1 : 0;
        if (result != 0 && failOnError && (failed || !known)) {
            stop = true;
            break;
        }
    }
    if (stop) AppendOutputLine(m_pOutput, std::string(kCaption) + " failed.");
    m_strWorkFolder.clear();
    return result;
}

}  // namespace foundation
