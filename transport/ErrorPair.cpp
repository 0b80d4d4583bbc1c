#include "transport/ErrorPair.h"

namespace transport {

std::string CutUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    size_t cut = maxBytes;
    // Step back over continuation bytes so that the cut lands on a sequence start.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut));
}

void CErrorPair::SetText(std::string_view newText) {
    text = CutUtf8(newText, kMaxText);
}

}  // namespace transport
