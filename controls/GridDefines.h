#pragma once
// Values shared by the grid control, its cells and its editors: cell state
// bits, item record masks, notification codes and records, text format flags,
// key codes, cell ids and ranges. The numbers are part of the grid's interface:
// the windows that hold a grid test them in their notification handlers.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Bitmap.h"
#include "platform/Messages.h"

namespace controls {

using platform::COLORREF;

// A colour field that holds this is not set: the default cell's colour applies.
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

// Messages a grid sends to the window that holds it.
constexpr unsigned WM_NOTIFY = 0x004E;
constexpr unsigned WM_COMMAND = 0x0111;

// Cell state bits.
namespace cellstate {
constexpr uint32_t Focused = 0x01;
constexpr uint32_t Selected = 0x02;
constexpr uint32_t DropHighlighted = 0x04;
constexpr uint32_t ReadOnly = 0x08;
constexpr uint32_t Fixed = 0x10;
constexpr uint32_t FixedRow = 0x20;
constexpr uint32_t FixedCol = 0x40;
constexpr uint32_t Modified = 0x80;
}  // namespace cellstate

// Which fields of an item record are valid.
namespace itemmask {
constexpr uint32_t Text = 0x01;
constexpr uint32_t Image = 0x02;
constexpr uint32_t Data = 0x04;
constexpr uint32_t State = 0x08;
constexpr uint32_t BackColor = 0x10;
constexpr uint32_t TextColor = 0x20;
constexpr uint32_t Format = 0x40;
constexpr uint32_t Font = 0x80;
constexpr uint32_t Margin = 0x100;
constexpr uint32_t All = 0xFFFFFFFF;
}  // namespace itemmask

// Notification codes of the grid and its cells.
namespace gridnotify {
constexpr int Click = -2;
constexpr int DblClick = -3;
constexpr int RClick = -5;
constexpr int SelChanging = -100;
constexpr int SelChanged = -101;
constexpr int BeginLabelEdit = -105;
constexpr int EndLabelEdit = -106;
constexpr int BeginDrag = -109;
constexpr int CacheHint = -113;
constexpr int GetDispInfo = -150;
constexpr int CheckChanged = -302;
}  // namespace gridnotify

namespace gridlines {
constexpr int None = 0;
constexpr int Horz = 1;
constexpr int Vert = 2;
constexpr int Both = 3;
}  // namespace gridlines

// Text drawing flags (the values of the format word a cell keeps).
namespace textformat {
constexpr uint32_t Left = 0x0;
constexpr uint32_t Top = 0x0;
constexpr uint32_t Center = 0x1;
constexpr uint32_t Right = 0x2;
constexpr uint32_t VCenter = 0x4;
constexpr uint32_t Bottom = 0x8;
constexpr uint32_t WordBreak = 0x10;
constexpr uint32_t SingleLine = 0x20;
constexpr uint32_t NoClip = 0x100;
constexpr uint32_t NoPrefix = 0x800;
constexpr uint32_t EndEllipsis = 0x8000;
}  // namespace textformat

// Key codes the grid and its editors act on.
namespace vk {
constexpr unsigned LButton = 0x01;
constexpr unsigned Back = 0x08;
constexpr unsigned Tab = 0x09;
constexpr unsigned Return = 0x0D;
constexpr unsigned Shift = 0x10;
constexpr unsigned Control = 0x11;
constexpr unsigned Escape = 0x1B;
constexpr unsigned Space = 0x20;
constexpr unsigned Prior = 0x21;
constexpr unsigned Next = 0x22;
constexpr unsigned End = 0x23;
constexpr unsigned Home = 0x24;
constexpr unsigned Left = 0x25;
constexpr unsigned Up = 0x26;
constexpr unsigned Right = 0x27;
constexpr unsigned Down = 0x28;
constexpr unsigned Insert = 0x2D;
constexpr unsigned Delete = 0x2E;
constexpr unsigned F2 = 0x71;
}  // namespace vk

// Modifier flags of a mouse event.
namespace mouseflags {
constexpr unsigned LButton = 0x01;
constexpr unsigned Shift = 0x04;
constexpr unsigned Control = 0x08;
}  // namespace mouseflags

// Answers of a drag-and-drop target.
namespace dropeffect {
constexpr int None = 0;
constexpr int Copy = 1;
constexpr int Move = 2;
}  // namespace dropeffect

// A font description of fixed size (60 bytes), kept by cells that have a font
// of their own. Height in logical units: negative values are character heights
// (points at 96 pixels per inch are -points * 4 / 3).
struct LOGFONT {
    int32_t lfHeight = 0;
    int32_t lfWidth = 0;
    int32_t lfEscapement = 0;  // tenths of a degree; 900 is vertical text
    int32_t lfOrientation = 0;
    int32_t lfWeight = 400;
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 0;
    uint8_t lfOutPrecision = 0;
    uint8_t lfClipPrecision = 0;
    uint8_t lfQuality = 0;
    uint8_t lfPitchAndFamily = 0;
    char lfFaceName[32] = {};

    std::string FaceName() const;
    // Keeps at most 31 bytes, never splitting a UTF-8 sequence.
    void SetFaceName(std::string_view face);
    bool operator==(const LOGFONT&) const = default;
};
static_assert(sizeof(LOGFONT) == 60);

// The font of a grid's default cells: 8 points of the dialog face.
LOGFONT DefaultGridFont();

// A cell by row and column; (-1, -1) is none.
struct CCellID {
    int row = -1;
    int col = -1;

    CCellID() = default;
    CCellID(int r, int c) : row(r), col(c) {}
    bool IsValid() const { return row >= 0 && col >= 0; }
    bool operator==(const CCellID&) const = default;
};

// Rows minRow..maxRow and columns minCol..maxCol, both ends included.
struct CCellRange {
    int minRow = -1;
    int minCol = -1;
    int maxRow = -1;
    int maxCol = -1;

    CCellRange() = default;
    CCellRange(int r1, int c1, int r2, int c2) : minRow(r1), minCol(c1), maxRow(r2), maxCol(c2) {}
    bool IsValid() const {
        return minRow >= 0 && minCol >= 0 && maxRow >= 0 && maxCol >= 0 && minRow <= maxRow &&
               minCol <= maxCol;
    }
    bool InRange(int row, int col) const {
        return row >= minRow && row <= maxRow && col >= minCol && col <= maxCol;
    }
    bool InRange(const CCellID& cell) const { return InRange(cell.row, cell.col); }
    CCellID GetTopLeft() const { return {minRow, minCol}; }
    bool operator==(const CCellRange&) const = default;
};

// The record through which a caller sets a cell and, in virtual mode, the
// holder of the grid gives a cell's contents.
struct GridItem {
    int row = 0;
    int col = 0;
    uint32_t mask = 0;
    uint32_t state = 0;
    uint32_t format = 0;
    int image = -1;
    COLORREF backColor = CLR_DEFAULT;
    COLORREF textColor = CLR_DEFAULT;
    intptr_t data = 0;
    LOGFONT font;
    uint32_t margin = 0;
    std::string text;
};

// Every notification starts with this: the sending window, its control id and
// the code. Receivers cast to the record of the code.
struct NotifyHeader {
    platform::WindowHandle from = 0;
    int id = 0;
    int code = 0;
};

// Codes other than CacheHint and GetDispInfo.
struct GridNotify : NotifyHeader {
    int row = -1;
    int col = -1;
};

// GetDispInfo (virtual mode) and EndLabelEdit from an in-place editor.
struct GridDispInfo : NotifyHeader {
    GridItem item;
};

// CacheHint: the range the grid is about to read, or all -1 when done.
struct GridCacheHint : NotifyHeader {
    CCellRange range;
};

}  // namespace controls
