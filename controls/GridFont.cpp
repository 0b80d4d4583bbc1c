#include "controls/GridFont.h"

#include <cstring>
#include <map>
#include <string>

#include "platform/ui/DrawContext.h"

namespace controls {

wxFont FontFromLogFont(const LOGFONT& lf) {
    platform::ui::FontSpec spec;
    spec.face = lf.FaceName();
    // Character heights are negative; a positive cell height holds about a
    // fifth of internal leading. Both are pixels at 96 per inch.
    double pixels = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight * 0.8;
    if (lf.lfHeight == 0) pixels = 11;
    spec.pointSize = pixels * 72.0 / 96.0;
    spec.bold = lf.lfWeight >= 600;
    spec.italic = lf.lfItalic != 0;
    spec.underline = lf.lfUnderline != 0;
    wxFont font = platform::ui::MakeFont(spec);
    if (lf.lfStrikeOut != 0) font.SetStrikethrough(true);
    return font;
}

const wxFont& CachedFont(const LOGFONT& lf) {
    // Fonts are never removed: a program shows a handful of cell styles.
    static std::map<std::string, wxFont> cache;
    std::string key(sizeof(LOGFONT), '\0');
    std::memcpy(key.data(), &lf, sizeof(LOGFONT));
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(std::move(key), FontFromLogFont(lf)).first;
    return it->second;
}

}  // namespace controls
