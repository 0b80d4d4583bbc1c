#include "packages/ArchiveDialog.h"

#include <cctype>
#include <system_error>

#include "foundation/ProgramFolders.h"
#include "platform/Folders.h"
#include "platform/Prompt.h"

namespace packages {

namespace {

std::string Part(const char* word, const CNodeCompProd& p) {
    if (p.code == 0) return std::string();
    const std::string head = std::string("  ") + word + ":" + std::to_string(p.code);
    if (p.version == 255) return head + " alpha " + std::to_string(p.build);
    if (p.build != 0) return head + " v." + std::to_string(p.version) + " beta " + std::to_string(p.build);
    return head + " v." + std::to_string(p.version);
}

}  // namespace

CNodeCompInfo ReadNodeIdentity(CArchiveDrive& drive) {
    CNodeCompInfo node;
    if (auto legacy = drive.Legacy()) {
        node.hardware.code = legacy->hwCode;
        node.hardware.version = legacy->hwVersion;
        CNodeCompProd& runs = legacy->isFirmware ? node.firmware : node.boot;
        runs.code = legacy->swCode;
        runs.version = legacy->swVersion;
        runs.build = legacy->swBuild;
        return node;
    }
    CompUploadFn upload = [&drive](const std::string& item, uint8_t* buffer, uint32_t& size) {
        return drive.UploadCell(item, buffer, size);
    };
    CNodeCompInfo::ReadHardwareFromNode(upload, node.hardware);
    CNodeCompInfo::ReadRecordFromNode(upload, "upload_comp_boot", node.boot);
    CNodeCompInfo::ReadRecordFromNode(upload, "upload_comp_fw", node.firmware);
    return node;
}

std::string ArchiveDeviceText(const CNodeCompInfo& node) {
    return "Hardware:" + std::to_string(node.hardware.code) + " v." + std::to_string(node.hardware.version) +
           Part("Boot", node.boot) + Part("Firmware", node.firmware);
}

std::string PickedBootText(const CArchiBoot& boot) {
    if (boot.pickedPath.empty()) return "none";
    std::string text =
        "boot " + std::to_string(boot.pickedCode) + " version " + std::to_string(boot.pickedVersion);
    if (boot.pickedBuild != 0) text += " beta " + std::to_string(boot.pickedBuild);
    return text;
}

std::string ArchiveSizeText(uint32_t size) {
    return "Size: " + std::to_string(size) + " bytes";
}

CNodeCompInfo PrepareArchive(CArchivio& archive, CArchiveDrive& drive) {
    archive.BeginDialog();
    CNodeCompInfo node = ReadNodeIdentity(drive);
    archive.compInfo.Reset(node.hardware);
    if (archive.compInfo.IsFirmwareCompatible(node.firmware)) archive.compInfo.firmware = node.firmware;

    if (archive.info && archive.info->present && archive.info->selected) {
        archive.info->Reset();
        archive.info->name = drive.DeviceName();
        archive.info->Configure();
    }
    if (archive.boot && archive.boot->present && archive.boot->selected) archive.LoadBoot(drive, node);
    if (archive.firmware && archive.firmware->present && archive.firmware->selected)
        archive.LoadFirmware(drive.FirmwarePath(), node.firmware.code, node.firmware.version,
                             node.firmware.build);
    if (archive.iec && archive.iec->present && archive.iec->selected) archive.LoadIec(drive);
    return node;
}

ArchiveVersion ParseArchiveVersion(const std::string& text) {
    ArchiveVersion v;
    // Scan digits and points; one blank may come between the numbers and the letter.
    size_t pos = 0;
    size_t blank = std::string::npos;
    bool stopped = false;
    while (pos < text.size()) {
        const char c = text[pos];
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            ++pos;
        } else if (c == ' ' && blank == std::string::npos) {
            blank = pos++;
        } else {
            stopped = true;
            break;
        }
    }
    // The character where the scan stopped, else the blank, is the letter; digits ending the
    // text after it are the build number.
    const size_t letterAt = stopped ? pos : blank;
    size_t numbersEnd = text.size();
    if (letterAt != std::string::npos) {
        numbersEnd = letterAt;
        v.letter = static_cast<uint8_t>(text[letterAt]);
        size_t digits = text.size();
        while (digits > letterAt + 1 && std::isdigit(static_cast<unsigned char>(text[digits - 1]))) --digits;
        if (digits < text.size() && text.size() - digits <= 9)
            v.build = static_cast<uint32_t>(std::stoul(text.substr(digits)));
    }
    while (numbersEnd > 0 && text[numbersEnd - 1] == ' ') --numbersEnd;
    // Numbers from the letter backwards: the last one is the fourth.
    std::vector<std::string> parts;
    size_t start = 0;
    const std::string numbers = text.substr(0, numbersEnd);
    while (start <= numbers.size()) {
        size_t dot = numbers.find('.', start);
        if (dot == std::string::npos) dot = numbers.size();
        parts.push_back(numbers.substr(start, dot - start));
        start = dot + 1;
    }
    while (!parts.empty() && parts.back().empty()) parts.pop_back();
    int slot = 3;
    for (auto it = parts.rbegin(); it != parts.rend() && slot >= 0; ++it, --slot) {
        std::string& part = *it;
        part.erase(0, part.find_first_not_of(' '));
        part.erase(part.find_last_not_of(' ') + 1);
        if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const unsigned long n = std::stoul(*it);
        if (n < 0xFFFF) v.numbers[size_t(slot)] = static_cast<uint16_t>(n);
    }
    for (uint16_t n : v.numbers) {
        if (n == 0xFFFF) continue;
        if (!v.text.empty()) v.text += '.';
        v.text += std::to_string(n);
    }
    if (v.letter != 0xFF) v.text += static_cast<char>(v.letter);
    if (v.build != 0xFFFFFFFF) v.text += std::to_string(v.build);
    return v;
}

bool ApplyArchiveVersion(CArchiGeneralInfo& info, const ArchiveVersion& version) {
    info.versionNumbers = version.numbers;
    info.versionLetter = version.letter;
    info.versionBuild = version.build == 0xFFFFFFFF ? 0xFF : static_cast<uint8_t>(version.build);
    info.version = version.text;
    return info.Configure();
}

bool ConfigureParameters(CArchivio& archive, CArchiveDrive& drive, bool fromDrive, const std::string& file) {
    if (!archive.param) return false;
    std::string path = file;
    std::filesystem::path exported;
    if (fromDrive) {
        // A folder of this process only: another instance exporting at the same time keeps its own.
        const std::filesystem::path folder = platform::PrivateTempFolder();
        exported = folder / (std::string(foundation::kProgramName) + "Parameters.xml");
        path = !folder.empty() && drive.ExportParameters(exported) ? exported.string() : std::string();
    }
    const bool loaded = !path.empty() && archive.LoadParameters(path);
    if (!exported.empty()) {
        std::error_code ec;
        std::filesystem::remove(exported, ec);
    }
    if (!loaded) {
        platform::Prompts().MessageBox("Error loading parameter file, it is not accessible or not recognized",
                                       "Invalid parameter file", platform::MB_OK | platform::MB_ICONERROR);
    }
    return loaded;
}

bool CreateArchive(CArchivio& archive, const CNodeCompInfo& node, const std::filesystem::path& file) {
    return archive.Write(file, static_cast<uint16_t>(node.hardware.code));
}

}  // namespace packages
