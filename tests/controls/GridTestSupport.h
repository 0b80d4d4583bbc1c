#pragma once
// A grid without a desktop window: fixed text metrics (7 pixels a character,
// 13 a line) and a window stand-in that records what the grid asks of it.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "controls/GridCtrl.h"
#include "controls/GridHost.h"
#include "controls/GridTextMetrics.h"

namespace gridtest {

using controls::CCellID;
using controls::CCellRange;
using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;

constexpr int kCharWidth = 7;
constexpr int kLineHeight = 13;

class FixedMetrics : public controls::GridTextMetrics {
  public:
    Size TextExtent(std::string_view text, const controls::LOGFONT&) override {
        return {kCharWidth * static_cast<int>(controls::Utf8Length(text)), kLineHeight};
    }
};

inline std::shared_ptr<controls::GridTextMetrics> Metrics() {
    return std::make_shared<FixedMetrics>();
}

struct Note {
    int code = 0;
    int row = -1;
    int col = -1;
    CCellRange range;
};

class FakeEditor : public controls::GridEditor {
  public:
    explicit FakeEditor(controls::EditorRequest request) : request(std::move(request)) {}
    void EndEdit() override { ++ends; }
    void SendChar(unsigned ch) override { chars.push_back(ch); }
    void Paste() override { ++pastes; }

    controls::EditorRequest request;
    bool list = false;
    int ends = 0;
    int pastes = 0;
    std::vector<unsigned> chars;
};

class FakeHost : public controls::CGridHost {
  public:
    FakeHost(int width = 400, int height = 300) : width_(width), height_(height) {}

    platform::WindowHandle Handle() const override { return 77; }
    int ControlId() const override { return 1001; }
    Rect ClientRect() const override {
        return {0, 0, width_ - (vert.shown ? 16 : 0), height_ - (horz.shown ? 16 : 0)};
    }
    int VScrollWidth() const override { return 16; }
    int HScrollHeight() const override { return 16; }
    int BorderSize() const override { return 0; }
    void Invalidate(const Rect* rect) override {
        if (rect == nullptr)
            ++wholeInvalidations;
        else
            invalidated.push_back(*rect);
    }
    void ApplyScrollBars(const controls::GridScrollBar& h, const controls::GridScrollBar& v) override {
        horz = h;
        vert = v;
    }
    intptr_t SendNotify(controls::NotifyHeader& record) override {
        Note note;
        note.code = record.code;
        if (record.code == controls::gridnotify::CacheHint) {
            note.range = static_cast<controls::GridCacheHint&>(record).range;
        } else if (record.code == controls::gridnotify::GetDispInfo) {
            auto& info = static_cast<controls::GridDispInfo&>(record);
            note.row = info.item.row;
            note.col = info.item.col;
            if (fill) fill(info);
        } else {
            const auto& grid = static_cast<controls::GridNotify&>(record);
            note.row = grid.row;
            note.col = grid.col;
        }
        notes.push_back(note);
        return answer ? answer(note) : 0;
    }
    void PostCommand() override { ++commands; }
    void SetFocus() override { focused = true; }
    bool HasFocus() const override { return focused; }
    bool IsKeyDown(unsigned key) const override { return keys.count(key) != 0; }
    Point CursorPos() const override { return cursor; }
    void SetCapture(bool capture) override { captured = capture; }
    void SetCursor(controls::GridCursor c) override { cursorShape = c; }
    void SetWaitCursor(bool) override {}
    bool SetTimer(unsigned id, unsigned) override {
        timers.insert(id);
        return true;
    }
    void KillTimer(unsigned id) override { timers.erase(id); }
    controls::GridEditor* CreateTextEditor(const controls::EditorRequest& request) override {
        if (refuseEditors) return nullptr;
        editors.push_back(std::make_unique<FakeEditor>(request));
        return editors.back().get();
    }
    controls::GridEditor* CreateListEditor(const controls::EditorRequest& request) override {
        editors.push_back(std::make_unique<FakeEditor>(request));
        editors.back()->list = true;
        return editors.back().get();
    }
    void ShowTitleTip(const controls::TitleTipRequest& request) override { tips.push_back(request.text); }
    void HideTitleTip() override {}
    bool SetClipboardText(const std::string& text) override {
        clipboard = text;
        return true;
    }
    std::optional<std::string> GetClipboardText() override { return clipboard; }
    int DoDragDrop(const std::string& text) override {
        dragged = text;
        return dragEffect;
    }

    // The codes notified so far, in order.
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const Note& note : notes) codes.push_back(note.code);
        return codes;
    }
    void Resize(int width, int height) {
        width_ = width;
        height_ = height;
    }

    controls::GridScrollBar horz;
    controls::GridScrollBar vert;
    std::vector<Note> notes;
    std::function<intptr_t(const Note&)> answer;
    std::function<void(controls::GridDispInfo&)> fill;
    std::vector<Rect> invalidated;
    int wholeInvalidations = 0;
    int commands = 0;
    bool focused = false;
    bool captured = false;
    std::set<unsigned> keys;
    Point cursor;
    controls::GridCursor cursorShape = controls::GridCursor::Arrow;
    std::set<unsigned> timers;
    std::vector<std::unique_ptr<FakeEditor>> editors;
    std::vector<std::string> tips;
    std::optional<std::string> clipboard;
    std::string dragged;
    int dragEffect = controls::dropeffect::None;
    bool refuseEditors = false;  // as a window whose editor can't be created

  private:
    int width_;
    int height_;
};

// A grid of rows x cols with fixed rows and columns, its cells holding "r<row>c<col>",
// every row 20 pixels high and every column 50 wide, put in a stand-in window.
struct Fixture {
    Fixture(int rows, int cols, int fixedRows = 1, int fixedCols = 1, int width = 400, int height = 300)
        : host(width, height), grid(rows, cols, fixedRows, fixedCols, Metrics()) {
        for (int r = 0; r < rows; ++r) {
            grid.SetRowHeight(r, 20);
            for (int c = 0; c < cols; ++c)
                grid.SetItemText(r, c, "r" + std::to_string(r) + "c" + std::to_string(c));
        }
        for (int c = 0; c < cols; ++c) grid.SetColumnWidth(c, 50);
        grid.AttachHost(&host);
    }
    ~Fixture() { grid.AttachHost(nullptr); }

    // The centre of a cell on the screen.
    Point Centre(int row, int col) {
        Rect rect;
        grid.GetCellRect(row, col, rect);
        return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }
    void Click(int row, int col, unsigned flags = 0) {
        const Point p = Centre(row, col);
        grid.OnLButtonDown(p, flags | controls::mouseflags::LButton);
        grid.OnLButtonUp(p, flags);
    }
    void Key(unsigned key, bool shift = false, bool control = false) {
        host.keys.clear();
        if (shift) host.keys.insert(controls::vk::Shift);
        if (control) host.keys.insert(controls::vk::Control);
        grid.OnKeyDown(key);
        host.keys.clear();
    }
    std::set<std::pair<int, int>> Selected() {
        std::set<std::pair<int, int>> cells;
        for (int r = 0; r < grid.GetRowCount(); ++r)
            for (int c = 0; c < grid.GetColumnCount(); ++c)
                if (grid.IsCellSelected(r, c)) cells.insert({r, c});
        return cells;
    }

    FakeHost host;
    controls::CGridCtrl grid;
};

}  // namespace gridtest
