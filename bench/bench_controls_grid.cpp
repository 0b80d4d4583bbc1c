// Redraws a visible page of a 10,000 x 20 grid and sorts it whole; the same
// data drawn by wxGrid in the same run is the yardstick for the redraw.
// Prints minimum and median times (ms) per redraw and per sort.
// Usage (under a display, e.g. xvfb-run): bench_controls_grid [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <wx/frame.h>
#include <wx/grid.h>

#include "controls/GridCtrl.h"
#include "controls/GridWindow.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/Gui.h"

namespace {

constexpr int kRows = 10000;
constexpr int kCols = 20;
constexpr int kWidth = 1200;
constexpr int kHeight = 800;

std::string CellText(int row, int col) {
    if (col == 1) {
        char key[16];
        std::snprintf(key, sizeof(key), "K%05d", (row * 7919) % kRows);
        return key;
    }
    return std::to_string(row) + "." + std::to_string(col) + " V";
}

struct Timings {
    const char* name;
    std::vector<double> ms;

    void Time(const std::function<void()>& work) {
        const auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    double Min() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
    double Median() const {
        if (ms.empty()) return 0;
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
    void Print() const { std::printf("  %-34s %8.2f  %8.2f\n", name, Min(), Median()); }
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    if (!platform::ui::StartGui()) {
        std::fprintf(stderr, "no display (run under xvfb-run)\n");
        return 1;
    }
    auto* frame =
        new wxFrame(nullptr, wxID_ANY, "grid bench", wxPoint(0, 0), wxSize(kWidth + 40, kHeight + 60));
    frame->Show();

    // Ours: one fixed row of headings, one fixed column of row numbers.
    auto* grid = new controls::CGridCtrl(kRows + 1, kCols, 1, 1);
    grid->SetRedraw(false);
    for (int c = 0; c < kCols; ++c) grid->SetItemText(0, c, "Column " + std::to_string(c));
    for (int r = 1; r <= kRows; ++r) {
        grid->SetItemText(r, 0, std::to_string(r));
        for (int c = 1; c < kCols; ++c) grid->SetItemText(r, c, CellText(r, c));
    }
    grid->SetRedraw(true, true);
    if (!grid->Create(frame, {0, 0, kWidth, kHeight}, 100)) {
        std::fprintf(stderr, "grid window not created\n");
        return 1;
    }
    wxWindow* ours = grid->GetWindow();

    // wxGrid with the same data: labels stand for the fixed row and column.
    auto* other = new wxGrid(frame, wxID_ANY, wxPoint(0, 0), wxSize(kWidth, kHeight));
    other->CreateGrid(kRows, kCols - 1);
    other->BeginBatch();
    for (int c = 1; c < kCols; ++c) other->SetColLabelValue(c - 1, "Column " + std::to_string(c));
    for (int r = 1; r <= kRows; ++r) {
        other->SetRowLabelValue(r - 1, std::to_string(r));
        for (int c = 1; c < kCols; ++c) other->SetCellValue(r - 1, c - 1, CellText(r, c));
    }
    other->EndBatch();
    other->Hide();
    platform::ui::ProcessPending();

    const controls::CCellRange page = grid->GetVisibleNonFixedCellRange();
    std::printf("grid %d x %d; visible page rows %d..%d, columns %d..%d (%dx%d pixels); %d rounds\n", kRows,
                kCols, page.minRow, page.maxRow, page.minCol, page.maxCol, kWidth, kHeight, rounds);

    Timings oursWindow{"ours: window repaint", {}};
    Timings oursMemory{"ours: page drawn into a bitmap", {}};
    Timings theirsWindow{"wxGrid: window repaint", {}};
    Timings theirsMemory{"wxGrid: page rendered into a bitmap", {}};
    Timings sortText{"ours: sort 10,000 rows by text", {}};
    Timings sortNumber{"ours: sort 10,000 rows, own compare", {}};

    platform::ui::MemoryCanvas canvas(kWidth, kHeight);
    const platform::ui::Rect client = grid->GetHost()->ClientRect();
    constexpr int kPerRound = 10;
    for (int round = 0; round < rounds; ++round) {
        other->Hide();
        ours->Show();
        platform::ui::ProcessPending();
        for (int i = 0; i < kPerRound; ++i) {
            oursWindow.Time([&] {
                ours->Refresh(false);
                ours->Update();
            });
            oursMemory.Time([&] { grid->OnDraw(canvas.Dc(), client); });
        }
        ours->Hide();
        other->Show();
        platform::ui::ProcessPending();
        for (int i = 0; i < kPerRound; ++i) {
            theirsWindow.Time([&] {
                other->Refresh(false);
                other->Update();
                other->GetGridWindow()->Update();
                other->GetGridRowLabelWindow()->Update();
                other->GetGridColLabelWindow()->Update();
            });
            theirsMemory.Time([&] {
                other->Render(canvas.Dc().Wx(), wxPoint(0, 0), wxSize(kWidth, kHeight),
                              wxGridCellCoords(page.minRow - 1, page.minCol - 1),
                              wxGridCellCoords(page.maxRow - 1, page.maxCol - 1), wxGRID_DRAW_DEFAULT);
            });
        }
        sortText.Time([&] { grid->SortItemsByColumn(1, round % 2 == 0); });
        sortNumber.Time([&] {
            grid->SortItems(
                [](const controls::CGridCellBase* a, const controls::CGridCellBase* b, intptr_t) {
                    return std::atoi(a->GetText().c_str()) - std::atoi(b->GetText().c_str());
                },
                0, round % 2 != 0);
        });
    }

    std::printf("                                       min ms  median ms\n");
    for (const Timings* t : {&oursWindow, &theirsWindow, &oursMemory, &theirsMemory, &sortText, &sortNumber})
        t->Print();
    std::printf("  redraw goal: under 16 ms (one frame at 60 Hz)\n");

    delete grid;
    frame->Destroy();
    platform::ui::ProcessPending();
    platform::ui::StopGui();
    return 0;
}
