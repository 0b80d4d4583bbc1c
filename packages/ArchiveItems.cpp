#include "packages/ArchiveItems.h"

#include <chrono>
#include <ctime>

#include "foundation/XmlNode.h"

using namespace foundation;

namespace packages {

void CArchiOption::Read(const CXmlNode* opt) {
    available = 1;
    selected = opt->GetAttributeInt("selected", 0) == 1 ? 1 : 0;
    locked = opt->GetAttributeInt("locked", 0) == 1 ? 1 : 0;
}

ArchiveTime ArchiveTime::NowUtc() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    ArchiveTime t;
    t.year = uint16_t(tm.tm_year + 1900);
    t.month = uint16_t(tm.tm_mon + 1);
    t.day = uint16_t(tm.tm_mday);
    t.hour = uint16_t(tm.tm_hour);
    t.minute = uint16_t(tm.tm_min);
    t.second = uint16_t(tm.tm_sec);
    t.milliseconds = uint16_t(ms);
    return t;
}

void CArchiItem::ReadItem(const CXmlNode* element) {
    present = element != nullptr;
    if (element == nullptr) return;
    locked = element->GetAttributeBool("locked", false) ? 1 : 0;
    selected = element->GetAttributeBool("selected", false) ? 1 : 0;
}

namespace {

void PadText(std::string& text) {
    text.append(PaddedSize(text.size()) - text.size(), ' ');
}

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t v, bool big) {
    out[at] = uint8_t(big ? v >> 8 : v);
    out[at + 1] = uint8_t(big ? v : v >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v, bool big) {
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(big ? v >> (24 - 8 * i) : v >> (8 * i));
}

std::string ProductText(const char* word, uint32_t code, uint32_t version, uint32_t build) {
    std::string text = std::string(word) + " " + std::to_string(code) + " v." + std::to_string(version);
    if (build != 0) text += " beta " + std::to_string(build);
    return text;
}

}  // namespace

void CArchiGeneralInfo::Reset() {
    name.clear();
    version.clear();
    author.clear();
    company.clear();
    description.clear();
    versionNumbers = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    versionLetter = 0xFF;
    versionBuild = 0xFF;
    contentSize = 0;
    dateTime = ArchiveTime::NowUtc();
}

bool CArchiGeneralInfo::Configure() {
    // The one-byte length fields hold at most 255 after padding, the description's two bytes 65535.
    for (const std::string* text : {&name, &author, &company, &version}) {
        if (PaddedSize(text->size()) > 255) return false;
    }
    if (PaddedSize(description.size()) > 65535) return false;
    for (std::string* text : {&name, &author, &company, &version, &description}) PadText(*text);
    contentSize = uint32_t(kHeadSize + name.size() + author.size() + company.size() + version.size() +
                           description.size());
    return true;
}

std::vector<uint8_t> CArchiGeneralInfo::BuildContent(const std::array<uint8_t, 16>& guid,
                                                     bool bigEndian) const {
    std::vector<uint8_t> out(kHeadSize, 0);
    out[0] = 1;
    out[1] = 1;
    out[2] = uint8_t(name.size());
    out[3] = uint8_t(author.size());
    out[4] = uint8_t(company.size());
    out[5] = uint8_t(version.size());
    Put16(out, 6, uint32_t(description.size()), bigEndian);
    Put32(out, 12, uint32_t(dateTime.year) << 16 | uint32_t(dateTime.month) << 8 | dateTime.day, bigEndian);
    Put32(out, 16,
          uint32_t(dateTime.hour) << 24 | uint32_t(dateTime.minute) << 16 | uint32_t(dateTime.second) << 8 |
              uint32_t(dateTime.milliseconds / 10),
          bigEndian);
    for (size_t i = 0; i < 4; ++i) Put16(out, 20 + 2 * i, versionNumbers[i], bigEndian);
    out[28] = versionLetter;
    out[29] = versionBuild;
    std::copy(guid.begin(), guid.end(), out.begin() + 32);
    for (const std::string* text : {&name, &author, &company, &version, &description}) {
        out.insert(out.end(), text->begin(), text->end());
    }
    return out;
}

std::string CArchiGeneralInfo::GetText() const {
    if (contentSize <= kHeadSize) return {};
    return name + "," + version + "," + description;
}

std::string CArchiBoot::GetText() const {
    if (binaryImage.empty() && xmlContent.empty()) return {};
    std::string text = ProductText("Boot", code, version, build);
    if (!xmlContent.empty()) text += "[xml]";
    if (!binaryImage.empty()) text += "[bin]";
    return text;
}

std::string CArchiFirmware::GetText() const {
    if (binaryImage.empty() && xmlContent.empty()) return {};
    std::string text = ProductText("Fw", code, version, build);
    if (!xmlContent.empty()) text += "[xml]";
    if (!binaryImage.empty()) text += "[bin]";
    return text;
}

std::string CArchiIEC::GetText() const {
    if (binary.empty() && xmlBlock.empty()) return {};
    return "IEC:" + binaryPath;
}

CArchiParam::CArchiParam() {
    // Both ways to give parameters exist even when the description lists neither.
    file.available = 1;
    target.available = 1;
}

std::string CArchiParam::GetText() const {
    if (content.empty()) return {};
    std::string text = path + " (" + std::to_string(type) + " v." + std::to_string(swRev) + ")";
    if (build != 0) text += " beta " + std::to_string(build);
    return text;
}

}  // namespace packages
