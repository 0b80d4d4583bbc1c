#include "packages/Archivio.h"

#include <fstream>
#include <random>

#include "engine/CompressedBlock.h"
#include "foundation/HResult.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "platform/AtomicFile.h"
#include "platform/Prompt.h"
#include "transport/ModbusCrc.h"

using namespace foundation;
using namespace transport;
using namespace engine;

namespace packages {

namespace {

bool ReadWholeFile(const std::filesystem::path& file, std::vector<uint8_t>& out) {
    out.clear();
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0 || !in) return false;
    in.seekg(0, std::ios::beg);
    out.resize(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(out.data()), size);
    if (!in || in.gcount() != size) {
        out.clear();
        return false;
    }
    return true;
}

void Message(const char* text, const char* caption, unsigned flags) {
    platform::Prompts().MessageBox(text, caption, flags);
}

// Keeps the forms the item was asked for and decodes the binary from the file's FIRMWARE element.
void LoadForms(const std::string& path, const CArchiOption& binaryOption, const CArchiOption& xmlOption,
               std::vector<uint8_t>& binary, std::vector<uint8_t>& xml) {
    binary.clear();
    xml.clear();
    if (path.empty() || (!binaryOption.selected && !xmlOption.selected)) return;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) return;
    if (binaryOption.selected) {
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (ExtractFirmwareElement(text, binary) != 0) binary.clear();
    }
    if (xmlOption.selected) xml = std::move(bytes);
}

class Writer {
  public:
    Writer(std::vector<uint8_t>& out, bool big) : out_(out), big_(big) {}
    void U16(size_t at, uint32_t v) {
        out_[at] = uint8_t(big_ ? v >> 8 : v);
        out_[at + 1] = uint8_t(big_ ? v : v >> 8);
    }
    void U32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out_[at + size_t(i)] = uint8_t(big_ ? v >> (24 - 8 * i) : v >> (8 * i));
    }

  private:
    std::vector<uint8_t>& out_;
    bool big_;
};

}  // namespace

void CArchivio::Load(const CXmlNode* archive) {
    info.reset();
    boot.reset();
    firmware.reset();
    iec.reset();
    param.reset();
    userFiles.reset();
    maxDataSize = kDefaultMaxDataSize;
    compilerKeysOffset_.reset();
    if (archive == nullptr) return;

    info = std::make_unique<CArchiGeneralInfo>();
    boot = std::make_unique<CArchiBoot>();
    firmware = std::make_unique<CArchiFirmware>();
    iec = std::make_unique<CArchiIEC>();
    param = std::make_unique<CArchiParam>();
    userFiles = std::make_unique<CArchiUserFiles>();

    defaultName = archive->GetAttribute("defaultname");
    const size_t dot = defaultName.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        defaultExtension = defaultName.substr(dot + 1);
    } else {
        defaultExtension = archive->GetAttribute("defaultext", "bin");
    }
    verifyMode = uint32_t(archive->GetAttributeInt("verifymode", 0));
    byteSwap = archive->GetAttributeInt("endianness", 1) == 0;
    const int32_t index = archive->GetAttributeInt("index", 1);
    indexTable = (index & 1) != 0;
    inlineHeaders = (index & 2) != 0;

    const CXmlNode* objects = archive->FindNode("Objects");
    if (objects == nullptr) return;
    maxDataSize = uint32_t(objects->GetAttributeInt("maxsize", int32_t(kDefaultMaxDataSize)));

    auto options = [](const CXmlNode* element, auto&& apply) {
        if (element == nullptr) return;
        for (const CXmlNode* opt : element->Children()) {
            if (opt->Name() == "Opt") apply(opt->GetAttribute("name"), opt);
        }
    };
    info->ReadItem(objects->FindNode("Information"));
    const CXmlNode* bootNode = objects->FindNode("Boot");
    boot->ReadItem(bootNode);
    options(bootNode, [&](const std::string& name, const CXmlNode* opt) {
        CArchiOption* o = name == "best"         ? &boot->best
                          : name == "same"       ? &boot->same
                          : name == "compatible" ? &boot->compatible
                          : name == "binary"     ? &boot->binary
                          : name == "xml"        ? &boot->xml
                                                 : nullptr;
        if (o) o->Read(opt);
    });
    const CXmlNode* fwNode = objects->FindNode("Firmware");
    firmware->ReadItem(fwNode);
    options(fwNode, [&](const std::string& name, const CXmlNode* opt) {
        CArchiOption* o = name == "binary" ? &firmware->binary : name == "xml" ? &firmware->xml : nullptr;
        if (o) o->Read(opt);
    });
    const CXmlNode* iecNode = objects->FindNode("Iec");
    iec->ReadItem(iecNode);
    options(iecNode, [&](const std::string& name, const CXmlNode* opt) {
        CArchiOption* o = name == "editor"   ? &iec->editor
                          : name == "file"   ? &iec->file
                          : name == "target" ? &iec->target
                          : name == "dbi"    ? &iec->dbi
                          : name == "source" ? &iec->source
                                             : nullptr;
        if (o) o->Read(opt);
        if (o == &iec->editor) {
            for (const CXmlNode* sub : opt->Children()) {
                if (sub->Name() == "Opt" && sub->GetAttribute("name") == "compile") iec->compile.Read(sub);
            }
        }
    });
    const CXmlNode* paramNode = objects->FindNode("Parameters");
    param->ReadItem(paramNode);
    options(paramNode, [&](const std::string& name, const CXmlNode* opt) {
        CArchiOption* o = name == "file" ? &param->file : name == "target" ? &param->target : nullptr;
        if (o) o->Read(opt);
    });
    const CXmlNode* fileNode = objects->FindNode("File");
    userFiles->ReadItem(fileNode);
    if (fileNode != nullptr) {
        userFiles->maxFiles = uint32_t(fileNode->GetAttributeInt("maxfiles", 100));
        userFiles->maxFileSize = uint32_t(fileNode->GetAttributeInt("maxfilesize", 16777216));
        userFiles->maxSize = uint32_t(fileNode->GetAttributeInt("maxsize", 16777216));
    }
}

bool CArchivio::LoadBoot(CArchiveSource& source, const CNodeCompInfo& node) {
    if (!boot) return false;
    CArchiBoot& b = *boot;
    if (b.best.selected) {
        b.path.clear();
        b.code = b.version = b.build = 0;
        CArchiveSource::BootFile found;
        if (source.FindBestBoot(node.hardware.code, node.boot.code, compInfo, found)) {
            b.path = found.path;
            b.code = found.code;
            b.version = found.version;
            b.build = found.build;
        } else {
            Message("No compatible boot found", "Select boot",
                    platform::MB_OK | platform::MB_ICONINFORMATION);
        }
    } else if (b.same.selected) {
        b.path.clear();
        b.code = b.version = b.build = 0;
        const CArchiveSource::IndexedFile* match = nullptr;
        const auto files = source.IndexedFiles();
        for (const auto& entry : files) {
            if (entry.hw == node.hardware.code && entry.sw == node.boot.code &&
                entry.swVer == node.boot.version) {
                match = &entry;
                break;
            }
        }
        if (match == nullptr) {
            Message("Boot not found", "Search boot", platform::MB_OK | platform::MB_ICONINFORMATION);
        } else {
            CNodeCompProd record;
            if (!CNodeCompInfo::ReadCompatibility(match->path, record) || !compInfo.IsCompatible(record)) {
                Message("Boot found but not compatible with the actual firmware", "Search boot",
                        platform::MB_OK | platform::MB_ICONINFORMATION);
            } else {
                b.path = match->path.string();
                b.code = record.code;
                b.version = record.version;
                b.build = record.build;
            }
        }
    } else if (b.compatible.selected) {
        b.path = b.pickedPath;
        b.code = b.pickedCode;
        b.version = b.pickedVersion;
        b.build = b.pickedBuild;
    }
    LoadForms(b.path, b.binary, b.xml, b.binaryImage, b.xmlContent);
    return b.PaddedContentSize() > 0;
}

bool CArchivio::LoadFirmware(const std::string& firmwarePath, uint32_t code, uint32_t version,
                             uint32_t build) {
    if (!firmware) return false;
    CArchiFirmware& f = *firmware;
    if (!f.binary.selected && !f.xml.selected) {
        f.binaryImage.clear();
        f.xmlContent.clear();
        return false;
    }
    f.path = firmwarePath;
    LoadForms(firmwarePath, f.binary, f.xml, f.binaryImage, f.xmlContent);
    f.code = code;
    f.version = version;
    f.build = build;
    compilerKeysOffset_.reset();
    return f.PaddedContentSize() > 0;
}

bool CArchivio::LoadIec(CArchiveSource& source) {
    if (!iec) return false;
    CArchiIEC& i = *iec;
    if (i.editor.selected) {
        const std::string editorPath = source.IecEditorPath();
        if (editorPath.empty()) {
            Message("Empty IEC program, please save a program from the editor", "Program not found",
                    platform::MB_OK | platform::MB_ICONERROR);
            return false;
        }
        if (i.compile.selected) {
            if (!source.IsProgramLoaded()) {
                Message("Please open the program in the Program tab", "Program not loaded",
                        platform::MB_OK | platform::MB_ICONERROR);
                return false;
            }
            if (!source.CompileIec()) {
                Message("Error compiling IEC program", "Compile error",
                        platform::MB_OK | platform::MB_ICONERROR);
                return false;
            }
        }
        // The extension of the file name only: a dot in a folder name is no extension.
        const size_t slash = editorPath.rfind('/');
        const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
        const size_t dot = editorPath.rfind('.');
        i.binaryPath =
            dot == std::string::npos || dot < nameStart ? editorPath : editorPath.substr(0, dot) + ".bin";
    } else if (i.file.selected) {
        i.binaryPath = i.pickedPath;
    }
    i.binary.clear();
    if (!i.binaryPath.empty()) ReadWholeFile(i.binaryPath, i.binary);
    return !i.binary.empty();
}

bool CArchivio::LoadParameters(const std::string& path) {
    if (!param) return false;
    CArchiParam& p = *param;
    p.path = path;
    p.content.clear();
    p.type = p.swRev = p.build = 0;
    CXmlDocument doc;
    if (doc.Load(path) == S_OK) {
        const CXmlNode& root = doc.Root();
        const CXmlNode* device = root.Name() == "DEVICE" ? &root : root.FindNode("DEVICE");
        if (device != nullptr) {
            p.type = uint32_t(device->GetAttributeInt("Type", 0));
            p.swRev = uint32_t(device->GetAttributeInt("SwRev", 0));
            p.build = uint32_t(device->GetAttributeInt("build", 0));
        }
    }
    ReadWholeFile(path, p.content);
    return !p.content.empty();
}

uint32_t CArchivio::DataSize() const {
    uint64_t size = 0;
    for (const CArchiItem* item :
         {static_cast<const CArchiItem*>(info.get()), static_cast<const CArchiItem*>(boot.get()),
          static_cast<const CArchiItem*>(firmware.get()), static_cast<const CArchiItem*>(iec.get()),
          static_cast<const CArchiItem*>(param.get())}) {
        if (item != nullptr && item->selected) size += item->PaddedContentSize();
    }
    return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(size);
}

uint32_t CArchivio::CompilerKeysOffset() {
    if (!compilerKeysOffset_) {
        uint32_t offset = 0;
        CXmlDocument doc;
        if (firmware && !firmware->path.empty() && doc.Load(firmware->path) == S_OK) {
            if (const CXmlNode* format = doc.Root().FindNode("COMPILER\\TARGET\\COMPILER\\FILEFORMAT")) {
                offset = uint32_t(format->GetAttributeInt("compkeysoffset", 0));
            }
        }
        compilerKeysOffset_ = offset;
    }
    return *compilerKeysOffset_;
}

bool CArchivio::CheckCompilerKeys() {
    const uint32_t offset = CompilerKeysOffset();
    if (offset == 0) return true;
    const std::vector<uint8_t>& bin = iec->binary;
    auto u16 = [&](size_t at, uint16_t& v) {
        if (at > bin.size() || bin.size() - at < 2) return false;
        v = uint16_t(bin[at] | bin[at + 1] << 8);
        return true;
    };
    uint16_t count = 0;
    bool found = false;
    uint16_t keyVersion = 0;
    // Keys that run past the end of the binary are not keys of this firmware.
    if (u16(offset, count)) {
        for (uint16_t i = 0; i < count && !found; ++i) {
            uint16_t code = 0, version = 0;
            if (!u16(offset + 2 + size_t{4} * i, code) || !u16(offset + 4 + size_t{4} * i, version)) break;
            if (code == firmware->code) {
                found = true;
                keyVersion = version;
            }
        }
    }
    if (!found) {
        Message("The IEC program was compiled for a different firmware", "Wrong IEC binary",
                platform::MB_OK | platform::MB_ICONERROR);
        return false;
    }
    if (keyVersion > firmware->version) {
        Message("The IEC program was compiled for a higher firmware version", "Wrong IEC binary",
                platform::MB_OK | platform::MB_ICONERROR);
        return false;
    }
    return true;
}

bool CArchivio::CheckBeforeWrite(const std::string& archiveFileName) {
    using namespace platform;
    if (info && info->selected && info->contentSize == 0) {
        Message("General information selected but not configured", "Missing information",
                MB_OK | MB_ICONERROR);
        return false;
    }
    if (boot && boot->selected) {
        if (boot->PaddedContentSize() == 0) {
            Message("Boot selected but not configured", "Missing boot", MB_OK | MB_ICONERROR);
            return false;
        }
        if (boot->build != 0) {
            Message("The boot selected is a beta version", "Wrong boot", MB_OK | MB_ICONERROR);
            return false;
        }
    }
    if (firmware && firmware->selected) {
        if (firmware->PaddedContentSize() == 0) {
            Message("Firmware selected but not configured", "Missing firmware", MB_OK | MB_ICONERROR);
            return false;
        }
        if (firmware->build != 0) {
            Message("The firmware selected is a beta version", "Wrong firmware", MB_OK | MB_ICONERROR);
            return false;
        }
        if (iec && !iec->binary.empty() && !CheckCompilerKeys()) return false;
        if (param && !param->content.empty()) {
            if (param->type != firmware->code) {
                Message("The parameters are for a different firmware", "Incompatibility error",
                        MB_OK | MB_ICONERROR);
                return false;
            }
            if (param->swRev != firmware->version || param->build != firmware->build) {
                const int answer = Prompts().MessageBox(
                    "The parameters are for a different firmware version.\r\nIt is recommended to use "
                    "parameters "
                    "of the same version of the firmware\r\n\r\nContinue anyway?",
                    "Incompatibility warning", MB_YESNOCANCEL | MB_ICONWARNING);
                if (answer != IDYES) return false;
            }
        }
    }
    if (iec && iec->selected && iec->PaddedContentSize() == 0) {
        Message("IEC program selected but not configured", "Missing IEC", MB_OK | MB_ICONERROR);
        return false;
    }
    if (param && param->selected && param->PaddedContentSize() == 0) {
        Message("Parameters selected but not configured", "Missing parameters", MB_OK | MB_ICONERROR);
        return false;
    }
    if (archiveFileName.empty()) {
        Message("Please select a name for the archive", "Archive name", MB_OK);
        return false;
    }
    if (DataSize() > maxDataSize) {
        Message("The archive size is too big", "Archive size", MB_OK);
        return false;
    }
    return true;
}

std::vector<uint8_t> CArchivio::BuildImage(uint16_t hardwareCode, const std::array<uint8_t, 16>& guid) const {
    struct Planned {
        uint16_t type;
        uint16_t id;
        const std::vector<uint8_t>* content;
    };
    std::vector<Planned> blocks;
    std::vector<uint8_t> infoContent;
    auto add = [&](const CArchiItem* item, uint16_t type, uint16_t id, const std::vector<uint8_t>& content) {
        // Only checked items with content become blocks, so that the header's count is what is written.
        if (item != nullptr && item->selected && !content.empty()) blocks.push_back({type, id, &content});
    };
    if (boot) {
        add(boot.get(), 57, 1, boot->binaryImage);
        add(boot.get(), 88, 1, boot->xmlContent);
    }
    if (firmware) {
        add(firmware.get(), 57, 2, firmware->binaryImage);
        add(firmware.get(), 88, 2, firmware->xmlContent);
    }
    if (iec) {
        add(iec.get(), 952, 1, iec->binary);
        add(iec.get(), 88, 10, iec->xmlBlock);
    }
    if (param) add(param.get(), 88, 11, param->content);
    if (info && info->contentSize > CArchiGeneralInfo::kHeadSize) {
        infoContent = info->BuildContent(guid, byteSwap);
        add(info.get(), 298, 0, infoContent);
    }

    const uint32_t dataSize = DataSize();
    const size_t count = blocks.size();
    size_t planned = 32 + (indexTable ? 16 * count : 0) + (inlineHeaders ? 16 * count : 0) + dataSize;
    // Blocks never exceed their planned room, but the general information's content size could
    // disagree with its texts if they changed after it was configured.
    size_t needed = 32 + (indexTable ? 16 * count : 0);
    for (const Planned& b : blocks) needed += (inlineHeaders ? 16 : 0) + PaddedSize(b.content->size());
    std::vector<uint8_t> out(std::max(planned, needed) + (verifyMode == 1 ? 2 : 0), 0);
    Writer w(out, byteSwap);

    out[0] = 0x43;
    out[1] = 0x43;
    out[2] = 1;
    out[3] = uint8_t(verifyMode);
    out[5] = uint8_t((byteSwap ? 0 : 0x01) | (indexTable ? 0x10 : 0) | (inlineHeaders ? 0x20 : 0));
    w.U16(6, 32);
    w.U16(8, kKind);
    w.U16(10, hardwareCode);
    w.U32(12, uint32_t(count));
    w.U32(16, dataSize);
    w.U32(20, uint32_t(planned + (verifyMode == 1 ? 2 : 0)));
    uint32_t sum = 0;
    for (size_t i = 0; i < 30; ++i) sum += out[i];
    w.U16(30, sum & 0xFFFF);

    size_t pos = 32 + (indexTable ? 16 * count : 0);
    size_t lastInline = 0;
    for (size_t i = 0; i < count; ++i) {
        const Planned& b = blocks[i];
        const uint32_t size = uint32_t(b.content->size());
        if (indexTable) {
            const size_t entry = 32 + 16 * i;
            w.U16(entry, b.type);
            w.U16(entry + 2, b.id);
            w.U32(entry + 4, size);
            w.U32(entry + 8, uint32_t(pos));
        }
        const size_t start = pos;
        if (inlineHeaders) {
            w.U16(pos, b.type);
            w.U16(pos + 2, b.id);
            w.U32(pos + 4, size);
            lastInline = pos;
            pos += 16;
        }
        std::copy(b.content->begin(), b.content->end(), out.begin() + std::ptrdiff_t(pos));
        pos += PaddedSize(size);
        if (inlineHeaders) w.U32(start + 8, uint32_t(pos));
    }
    if (inlineHeaders && count > 0) w.U32(lastInline + 8, 0xFFFFFFFFu);
    const size_t total = pos;
    w.U32(20, uint32_t(total));
    if (verifyMode == 1) {
        w.U16(total, ModbusCrc16(out.data() + 32, total - 32));
        out.resize(total + 2);
    } else {
        out.resize(total);
    }
    return out;
}

std::array<uint8_t, 16> CArchivio::NewGuid() {
    std::random_device device;
    std::array<uint8_t, 16> guid{};
    for (uint8_t& b : guid) b = uint8_t(device());
    guid[7] = uint8_t((guid[7] & 0x0F) | 0x40);  // version 4, stored as the in-memory layout of the fields
    guid[8] = uint8_t((guid[8] & 0x3F) | 0x80);
    return guid;
}

bool CArchivio::Write(const std::filesystem::path& file, uint16_t hardwareCode) {
    if (!CheckBeforeWrite(file.string())) return false;
    const std::vector<uint8_t> image = BuildImage(hardwareCode, NewGuid());
    platform::AtomicFileWriter writer;
    if (!writer.Open(file)) {
        Message("Error creating archive file.", "Archive", platform::MB_OK | platform::MB_ICONERROR);
        return false;
    }
    if (!writer.Write(image.data(), image.size()) || !writer.Commit()) {
        writer.Abort();
        Message("Error writing archive file.", "Archive", platform::MB_OK | platform::MB_ICONERROR);
        return false;
    }
    Message("Archive successfull created.", "Archive", platform::MB_OK | platform::MB_ICONINFORMATION);
    return true;
}

}  // namespace packages
