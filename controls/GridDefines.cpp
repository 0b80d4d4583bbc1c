#include "controls/GridDefines.h"

#include <algorithm>
#include <cstring>

namespace controls {

std::string LOGFONT::FaceName() const {
    return std::string(lfFaceName, strnlen(lfFaceName, sizeof(lfFaceName)));
}

void LOGFONT::SetFaceName(std::string_view face) {
    size_t n = std::min(face.size(), sizeof(lfFaceName) - 1);
    // Step back over continuation bytes so that no sequence is cut.
    if (n < face.size()) {
        while (n > 0 && (static_cast<unsigned char>(face[n]) & 0xC0) == 0x80) --n;
    }
    std::memset(lfFaceName, 0, sizeof(lfFaceName));
    std::memcpy(lfFaceName, face.data(), n);
}

LOGFONT DefaultGridFont() {
    LOGFONT lf;
    lf.lfHeight = -11;  // 8 points at 96 pixels per inch
    lf.lfWeight = 400;
    lf.SetFaceName("Microsoft Sans Serif");
    return lf;
}

}  // namespace controls
