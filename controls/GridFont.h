#pragma once
// Fonts of grid cells. A cell keeps its font as a description; the font
// object drawn with comes from a cache with one entry per description, so
// that it stays valid for as long as anyone draws with it.

#include <wx/font.h>

#include "controls/GridDefines.h"

namespace controls {

// A new font object for a description (GUI thread).
wxFont FontFromLogFont(const LOGFONT& font);
// The cached font object of a description; valid for the life of the program (GUI thread).
const wxFont& CachedFont(const LOGFONT& font);

}  // namespace controls
