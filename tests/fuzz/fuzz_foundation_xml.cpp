// Feeds arbitrary bytes to the XML parser, the serialisers and the text decoders: as a text in
// memory, and as a file with an included file (encoding asked for, byte-order marks, UTF-16).
// A document that loads from a file is saved, loaded again and must come back the same.
//
// File layout of an input: byte 0 holds the options (below), byte 1 the include file's share of
// the rest; the rest is the main file's text followed by the include file's.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/TextCodec.h"
#include "foundation/TextFile.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlText.h"

namespace fs = std::filesystem;

namespace {

fs::path g_folder;

// Options (byte 0).
constexpr unsigned kEncodingBits = 0x07;  // encoding asked for: value % 5
constexpr unsigned kFormShift = 3;        // how the main text is written: raw, or as one of...
constexpr unsigned kFormBits = 0x03;      // ... UTF-16LE, UTF-16BE, UTF-8, each with its mark
constexpr unsigned kIncludeFirst = 0x20;  // the main file starts with an include of the other file
constexpr unsigned kSaveShift = 6;        // saved in: the encoding loaded, UTF-16LE, UTF-16BE, UTF-8

void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Each byte taken as a character U+0000..U+00FF, in the given form with its byte-order mark.
std::string Encode(std::string_view bytes, unsigned form) {
    std::string out;
    switch (form) {
        case 1:
        case 2: {
            const bool bigEndian = form == 2;
            out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
            for (const char c : bytes) {
                out += bigEndian ? '\0' : c;
                out += bigEndian ? c : '\0';
            }
            return out;
        }
        case 3:
            out = "\xEF\xBB\xBF";
            for (const char c : bytes) {
                const auto byte = static_cast<unsigned char>(c);
                if (byte < 0x80) {
                    out += c;
                } else {
                    out += static_cast<char>(0xC0 | (byte >> 6));
                    out += static_cast<char>(0x80 | (byte & 0x3F));
                }
            }
            return out;
        default:
            return std::string(bytes);
    }
}

[[noreturn]] void Mismatch() {
    __builtin_trap();
}

// Element text loses spaces at its ends on reading.
std::string_view Trimmed(std::string_view value) {
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    return value;
}

// A value written out and read back is the same, except that references a caller wrote into it
// ("&#..." passes through the writer) are decoded by the reader.
bool SameValue(std::string_view a, std::string_view b) {
    return a == b || a.find("&#") != std::string_view::npos;
}

bool HasNamelessElement(const CXmlNode& node) {
    for (const CXmlNode* child : node.Children()) {
        if (child->Name().empty() || HasNamelessElement(*child)) return true;
    }
    return false;
}

void Compare(const CXmlNode& a, const CXmlNode& b) {
    if (a.Name() != b.Name()) Mismatch();
    const bool element = a.Name() != CXmlNode::kCData && a.Name() != CXmlNode::kComment &&
                         a.Name() != CXmlNode::kProcessingInstruction && a.Name() != CXmlNode::kDeclaration;
    if (element ? !SameValue(Trimmed(a.Value()), Trimmed(b.Value())) : a.Value() != b.Value()) Mismatch();
    if (a.Attributes().size() != b.Attributes().size()) Mismatch();
    for (size_t i = 0; i < a.Attributes().size(); ++i) {
        if (a.Attributes()[i]->Name() != b.Attributes()[i]->Name()) Mismatch();
        if (!SameValue(a.Attributes()[i]->Value(), b.Attributes()[i]->Value())) Mismatch();
    }
    if (a.Children().size() != b.Children().size()) Mismatch();
    for (size_t i = 0; i < a.Children().size(); ++i) Compare(*a.Children()[i], *b.Children()[i]);
}

// The markup written outside the root; the parser puts comments in front, so order is not kept.
std::vector<std::string> WrittenDocumentLevel(const CXmlDocument& doc) {
    std::vector<std::string> nodes;
    for (const CXmlNode* node : doc.DocumentLevel().Children()) {
        if (node->Name() == CXmlNode::kComment || node->Name() == CXmlNode::kProcessingInstruction ||
            node->Name() == CXmlNode::kDeclaration) {
            nodes.push_back(node->Name() + '\n' + node->Value());
        }
    }
    std::sort(nodes.begin(), nodes.end());
    return nodes;
}

void FuzzFiles(const uint8_t* data, size_t size) {
    if (size < 2) return;
    const unsigned options = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const size_t includeSize = rest.size() * data[1] / 256;
    std::string main(Encode(rest.substr(0, rest.size() - includeSize), (options >> kFormShift) & kFormBits));
    if (options & kIncludeFirst) {
        main =
            "<r xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"inc.xml\"/>" + main + "</r>";
    }
    const fs::path mainFile = g_folder / "main.xml";
    // Saved elsewhere: include elements left in the tree (a file missing, or an include inside an
    // included file) must not find the file there when the saved file is loaded.
    const fs::path savedFile = g_folder / "saved" / "saved.xml";
    WriteFile(mainFile, main);
    WriteFile(g_folder / "inc.xml", rest.substr(rest.size() - includeSize));

    CXmlDocument doc;
    doc.SetEncoding(static_cast<int32_t>((options & kEncodingBits) % 5));
    if (doc.Load(mainFile) != S_OK) return;
    // A copy writes what the original writes.
    CXmlDocument copy;
    copy.Root().Copy(&doc.Root());
    copy.DocumentLevel().Copy(&doc.DocumentLevel());
    std::string original, copied;
    if (doc.GetXml(original) != S_OK || copy.GetXml(copied) != S_OK || original != copied) Mismatch();

    static constexpr int32_t kSaveIn[] = {0, kTextEncodingUtf16Le, kTextEncodingUtf16Be, kTextEncodingUtf8};
    const int32_t saveIn = kSaveIn[(options >> kSaveShift) & 0x03];
    if (saveIn != 0) doc.SetEncoding(saveIn);
    const int32_t encoding = doc.Encoding() & 0xFF;
    if (doc.Save(savedFile) != S_OK) Mismatch();
    // Windows-1252 cannot hold every character an included file may bring.
    if (encoding == kTextEncodingAnsi || HasNamelessElement(doc.Root())) return;
    CXmlDocument again;
    // UTF-16 is told apart by its mark; UTF-8 without one only when asked for.
    again.SetEncoding(encoding == kTextEncodingUtf8 ? kTextEncodingUtf8 : kTextEncodingDetect);
    if (again.Load(savedFile) != S_OK) Mismatch();
    if (again.Encoding() != encoding) Mismatch();
    Compare(doc.Root(), again.Root());
    if (WrittenDocumentLevel(doc) != WrittenDocumentLevel(again)) Mismatch();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // In memory where the system offers it: every run saves a file, and a save is flushed to disk.
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string pattern = std::string(base) + "/fuzz_foundation_xml_XXXXXX";
        if (const char* dir = ::mkdtemp(pattern.data())) {
            g_folder = dir;
            fs::create_directory(g_folder / "saved");
            std::atexit([] {
                std::error_code ec;
                fs::remove_all(g_folder, ec);
            });
            break;
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CXmlDocument doc;
    doc.LoadXmlText(text);
    std::string compact, formatted;
    doc.GetXml(compact);
    doc.GetXmlFormatted(formatted);
    CXmlDocument again;
    again.LoadXmlText(formatted);
    for (CXmlNode* n = doc.Root().FindFirstChild(""); n; n = doc.Root().FindNextChild()) {
        n->FindNode("a\\b");
        n->GetAttributeInt("a", 0);
        n->GetAttributeDouble("a", 0.0);
        if (n->Children().empty()) n->Remove();
    }

    std::string unescaped(text);
    UnescapeXmlText(unescaped);
    EscapeXmlText(text, true);

    std::string decoded;
    textcodec::FileUtf8ToText(text, decoded, 0, nullptr, nullptr);
    textcodec::FileUtf8ToText(text, decoded, 1252, "?", nullptr);
    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    textcodec::Utf16ToText(units, decoded, 0, nullptr, nullptr);

    if (!g_folder.empty()) FuzzFiles(data, size);
    return 0;
}
