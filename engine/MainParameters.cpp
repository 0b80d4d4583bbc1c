#include <cctype>
#include <cstring>
#include <vector>

#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "engine/NodeLock.h"
#include "engine/Vocabolario.h"
#include "engine/VocabularyItem.h"
#include "foundation/Version.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"

using namespace foundation;

namespace engine {

using namespace engine_code;

namespace {

constexpr const char* kCaption = "Initialization of node";
constexpr const char* kProgramName = "Tunova";

// Standard text form of a UUID without braces: 8-4-4-4-12 hexadecimal digits. The bytes are kept
// in the order the text shows them.
bool ParseUuid(const std::string& text, uint8_t out[16]) {
    static const int kGroups[] = {8, 4, 4, 4, 12};
    size_t pos = 0;
    int byte = 0;
    for (int g = 0; g < 5; ++g) {
        if (g > 0) {
            if (pos >= text.size() || text[pos] != '-') return false;
            ++pos;
        }
        for (int i = 0; i < kGroups[g]; i += 2) {
            if (pos + 2 > text.size()) return false;
            if (!std::isxdigit(static_cast<unsigned char>(text[pos])) ||
                !std::isxdigit(static_cast<unsigned char>(text[pos + 1])))
                return false;
            out[byte++] = static_cast<uint8_t>(std::stoi(text.substr(pos, 2), nullptr, 16));
            pos += 2;
        }
    }
    return pos == text.size();
}

}  // namespace

int CMain::StoreParameter(const std::string& name, const std::string& value, CNodo& node,
                          CVocabolario& vocabulary, int channelType) {
    const VocabularyItem* item = vocabulary.FindItem(name, channelType);
    if (!item) return kCellNotFound;
    if (value.empty()) return 0;
    if (item->size >= 1 && item->size <= 4) {
        std::vector<uint8_t> bytes(4, 0);
        ParseValueText(value, bytes);
        uint32_t word = 0;
        std::memcpy(&word, bytes.data(), 4);
        node.SetValueWord(item->name, word);
        return 0;
    }
    if (name.find("Guid") != std::string::npos) {
        std::string text;
        for (char c : value)
            if (c != '\'') text += c;
        uint8_t uuid[16] = {};
        if (!ParseUuid(text, uuid)) std::memset(uuid, 0, sizeof uuid);
        node.SetValue(item->name, uuid, sizeof uuid);
        return 0;
    }
    if (item->size == 0) {
        node.SetValue(item->name, nullptr, 0);
        return 0;
    }
    std::vector<uint8_t> bytes(item->size, 0);
    ParseValueText(value, bytes);
    node.SetValue(item->name, bytes.data(), item->size);
    return 0;
}

int CMain::LoadNodeParameterFile(CXmlDocument& document, platform::WindowHandle) {
    const unsigned flags = platform::MB_OK | platform::MB_ICONEXCLAMATION;
    CXmlNode& root = document.Root();
    if (root.Name() != "DEVICE_PARAMETER") {
        platform::Prompts().MessageBox(std::string("Missing or wrong ") + kProgramName + " parameters file!",
                                       kCaption, flags);
        return 1;
    }
    const int version = root.GetAttributeInt("Version", 0);
    if (version != 2) {
        platform::Prompts().MessageBox("Unknown parameters file version " + std::to_string(version) + ".",
                                       kCaption, flags);
        return 2;
    }
    CXmlNode* device = root.FindNode("DEVICE");
    if (!device) {
        platform::Prompts().MessageBox("Parameters file: DEVICE node missing!", kCaption, flags);
        return 3;
    }
    if (currentChannel_ < 0 || currentChannel_ >= channelCount_)
        return SetError(kWrongChannel, engine_text::kWrongChannel);
    const int slot = FindNode(currentNodeId_, currentChannel_);
    if (slot < 0) return slot;
    CNodo& node = *nodes_[slot];
    if (!node.simulated) return 10;
    CNodeLock held = LockNodeForUse(node);
    if (!held) return held.Error();
    int rc = 0;
    CVocabolario* vocabulary = Vocabulary(node.vocabularyIndex);
    const CChannel* channel = Channel(currentChannel_);
    const int type = channel ? channel->type : channel_type::kOffline;
    std::vector<std::string> failures;
    for (const char* list : {"INFO", "PARAMETERS"}) {
        CXmlNode* parent = device->FindNode(list);
        if (!parent) continue;
        for (CXmlNode* data : parent->Children()) {
            if (data->Name() != "DATA") continue;
            const std::string name = data->GetAttribute("Name");
            const std::string value = data->GetAttribute("Value");
            rc = vocabulary ? StoreParameter(name, value, node, *vocabulary, type) : kVocabularyMissing;
            // Names the vocabulary does not know are skipped quietly.
            if (rc != 0 && rc != kCellNotFound) failures.push_back(name + ": error " + std::to_string(rc));
        }
    }
    held.Unlock();
    if (!failures.empty()) {
        std::string text = "Errors restoring parameters file:\r\n";
        for (const std::string& f : failures) text += f + "\r\n";
        platform::Prompts().MessageBox(text, kCaption, flags);
    }
    return rc;
}

}  // namespace engine
