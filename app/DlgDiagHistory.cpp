#include "app/DlgDiagHistory.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/imaglist.h>
#include <wx/window.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "controls/GridCellBase.h"
#include "controls/GridCtrl.h"
#include "drive/DriveSettings.h"
#include "foundation/MessageIds.h"
#include "platform/Prompt.h"
#include "platform/ui/CommonDialogs.h"

namespace app {

using platform::ui::ControlKind;
using platform::ui::DluRect;
using platform::ui::Notify;
namespace st = platform::ui::style;

namespace {

constexpr int kTypeColumnWidth = 25;
constexpr int kTimeColumnWidth = 170;  // the whole ISO text with microseconds
constexpr platform::COLORREF kUnmarkedColour = 0x820000;

int64_t SystemUnixSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

// Information, warning and error images, drawn as coloured squares.
std::unique_ptr<wxImageList> TypeImages() {
    auto list = std::make_unique<wxImageList>(16, 16, true);
    const wxColour colours[3] = {wxColour(0, 90, 200), wxColour(230, 170, 0), wxColour(200, 0, 0)};
    for (const wxColour& colour : colours) {
        wxBitmap bitmap(16, 16);
        wxMemoryDC dc(bitmap);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        dc.SetBrush(wxBrush(colour));
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.DrawRectangle(3, 3, 10, 10);
        dc.SelectObject(wxNullBitmap);
        list->Add(bitmap, *wxWHITE);
    }
    return list;
}

}  // namespace

DiagHistoryOptions DiagOptionsFrom(const drive::CDriveSettings& settings) {
    DiagHistoryOptions o;
    o.iso = settings.TimeFormat == 0;
    o.microseconds = settings.ShowUs != 0;
    o.periodMs = std::max(settings.UpdateMs, drive::CDiagHistoryPollThread::kMinPeriodMs);
    o.background = settings.Background;
    return o;
}

void StoreDiagOptions(const DiagHistoryOptions& options, drive::CDriveSettings& settings) {
    settings.TimeFormat = options.iso ? 0 : 1;
    settings.ShowUs = options.microseconds ? 1 : 0;
    settings.UpdateMs = options.periodMs;
    settings.Background = options.background;
}

// ---- options ------------------------------------------------------------------------------------

enum : int {
    IDC_DIAGOPT_ISO = 1400,
    IDC_DIAGOPT_LOCAL = 1401,
    IDC_DIAGOPT_US = 1402,
    IDC_DIAGOPT_PERIOD = 1403,
    IDC_DIAGOPT_BACKGROUND = 1404,
};

CDiagHistOpt::CDiagHistOpt(const DiagHistoryOptions& initial)
    : Dialog({"Diagnosis History options",
              DluRect{0, 0, 177, 149},
              {{-1, ControlKind::GroupBox, "Timestamp view format", 0, DluRect{7, 7, 163, 62}},
               {IDC_DIAGOPT_ISO, ControlKind::Radio, "ISO 8601", st::Group, DluRect{14, 18, 60, 10}},
               {-1, ControlKind::Static, "eg  2010-07-16T19:20:30.450Z", 0, DluRect{76, 19, 92, 9}},
               {IDC_DIAGOPT_LOCAL, ControlKind::Radio, "TwinCAT", 0, DluRect{14, 32, 60, 10}},
               {-1, ControlKind::Static, "eg  7.16.2010 19:20:30 450 ms", 0, DluRect{76, 33, 92, 9}},
               {IDC_DIAGOPT_US, ControlKind::Check, "Show microseconds", st::Group, DluRect{14, 50, 100, 10}},
               {-1, ControlKind::GroupBox, "Autoupdate", 0, DluRect{7, 74, 163, 46}},
               {-1, ControlKind::Static, "Check every", 0, DluRect{14, 88, 44, 9}},
               {IDC_DIAGOPT_PERIOD, ControlKind::Edit, "", st::Number, DluRect{60, 86, 40, 12}},
               {-1, ControlKind::Static, "ms", 0, DluRect{104, 88, 20, 9}},
               {IDC_DIAGOPT_BACKGROUND, ControlKind::Check, "Remains active when the window is closed", 0,
                DluRect{14, 104, 150, 10}},
               {platform::IDOK, ControlKind::DefaultButton, "OK", 0, DluRect{66, 128, 50, 14}},
               {platform::IDCANCEL, ControlKind::Button, "Cancel", 0, DluRect{120, 128, 50, 14}}}}),
      options(initial) {}

void CDiagHistOpt::DoDataExchange(platform::ui::DataExchange& dx) {
    int format = options.iso ? 0 : 1;
    dx.Radio(IDC_DIAGOPT_ISO, format);
    dx.Check(IDC_DIAGOPT_US, options.microseconds);
    int period = options.periodMs;
    dx.Int(IDC_DIAGOPT_PERIOD, period);
    // A period under 100 ms would poll the drive without pause.
    if (dx.Saving())
        dx.MinMax(IDC_DIAGOPT_PERIOD, period, drive::CDiagHistoryPollThread::kMinPeriodMs, 3600000);
    dx.Check(IDC_DIAGOPT_BACKGROUND, options.background);
    if (dx.Saving() && !dx.Failed()) {
        options.iso = format == 0;
        options.periodMs = period;
    }
}

// ---- window -------------------------------------------------------------------------------------

CdlgDiagHistory::CdlgDiagHistory(drive::IDiagHistorySource& source, const foundation::CXmlNode* driveData,
                                 DiagHistoryOptions options)
    : Dialog({"Diagnosis History",
              DluRect{0, 0, 427, 198},
              {{IDC_DIAG_GRID, ControlKind::Custom, "", 0, DluRect{7, 7, 363, 175}},
               {IDC_DIAG_TOTAL, ControlKind::Static, "0 total", 0, DluRect{375, 7, 46, 10}},
               {IDC_DIAG_OPTIONS, ControlKind::Button, "Options...", 0, DluRect{375, 22, 46, 14}},
               {IDC_DIAG_COPY, ControlKind::Button, "Copy all", 0, DluRect{375, 40, 46, 14}},
               {IDC_DIAG_UPDATE, ControlKind::Button, "Update", 0, DluRect{375, 58, 46, 14}},
               {IDC_DIAG_AUTO, ControlKind::Check, "Auto update", 0, DluRect{375, 76, 50, 10}},
               {IDC_DIAG_RESET_SORT, ControlKind::Button, "Reset sort", 0, DluRect{375, 92, 46, 14}},
               {IDC_DIAG_DELETE, ControlKind::Button, "Delete", 0, DluRect{375, 110, 46, 14}},
               {IDC_DIAG_SET_TIME, ControlKind::Button, "Set Timestamp", 0, DluRect{375, 128, 50, 14}},
               {IDC_DIAG_SYNC, ControlKind::Button, "Synchronize", 0, DluRect{375, 146, 46, 14}},
               {IDC_DIAG_ACK, ControlKind::Button, "Ack. all", st::Hidden, DluRect{375, 164, 46, 14}},
               {IDC_DIAG_STATUS, ControlKind::Edit, "", st::ReadOnly, DluRect{7, 184, 363, 12}},
               {IDC_DIAG_CLOSE, ControlKind::DefaultButton, "Close", 0, DluRect{375, 182, 46, 14}}},
              true}),
      source_(source),
      options_(options),
      poll_([this] { PollPass(); }) {
    drive::LoadDiagMessageTexts(driveData, texts_);
    poll_.SetPeriodMs(options_.periodMs);
    nowUnixSeconds = SystemUnixSeconds;
    OnCommand(IDC_DIAG_OPTIONS, Notify::Clicked, [this] { OnOptions(); });
    OnCommand(IDC_DIAG_COPY, Notify::Clicked, [this] { OnCopyAll(); });
    OnCommand(IDC_DIAG_UPDATE, Notify::Clicked, [this] { OnUpdate(false); });
    OnCommand(IDC_DIAG_ACK, Notify::Clicked, [this] { OnUpdate(true); });
    OnCommand(IDC_DIAG_AUTO, Notify::Clicked, [this] { OnAutoUpdate(); });
    OnCommand(IDC_DIAG_RESET_SORT, Notify::Clicked, [this] { SortRows(); });
    OnCommand(IDC_DIAG_DELETE, Notify::Clicked, [this] { OnDelete(); });
    OnCommand(IDC_DIAG_SET_TIME, Notify::Clicked, [this] { OnSetTimestamp(); });
    OnCommand(IDC_DIAG_SYNC, Notify::Clicked, [this] { OnSynchronize(); });
    OnMessageId(foundation::kDiagHistoryMessage, [this](uintptr_t code, intptr_t) {
        OnHistoryMessage(code);
        return 0;
    });
}

CdlgDiagHistory::~CdlgDiagHistory() {
    StopThreads();
}

void CdlgDiagHistory::OnDestroy() {
    // The threads post to this window and read what it owns: they end with it.
    StopThreads();
    if (grid_) grid_->SetImageList(nullptr);
    Dialog::OnDestroy();
}

void CdlgDiagHistory::StopThreads() {
    poll_.Stop();
    upload_.Join();
}

bool CdlgDiagHistory::OnInitDialog() {
    grid_ = std::make_unique<controls::CGridCtrl>(1, 4, 1, 0);
    if (!grid_->CreateIn(Item(IDC_DIAG_GRID))) return false;
    grid_->EnableSelection(false);
    grid_->SetEditable(false);
    images_ = TypeImages();
    grid_->SetImageList(images_.get());
    ColumnHeaders();
    grid_->SetColumnWidth(0, 0);
    grid_->SetColumnWidth(1, kTypeColumnWidth);
    grid_->SetColumnWidth(2, kTimeColumnWidth);
    const int width = Item(IDC_DIAG_GRID)->GetClientSize().GetWidth() - (kTypeColumnWidth + kTimeColumnWidth);
    grid_->SetColumnWidth(3, std::max(width, 60));
    CheckItem(IDC_DIAG_AUTO, 1);
    return true;
}

void CdlgDiagHistory::ColumnHeaders() {
    grid_->SetItemText(0, 1, "Typ");
    grid_->SetItemText(0, 2, std::string("Timestamp ") + (options_.microseconds ? "us" : "ms"));
    grid_->SetItemText(0, 3, "Message");
}

void CdlgDiagHistory::ShowWindow(bool show) {
    if (!IsAlive()) return;
    Wx()->Show(show);
    if (!show) {
        if (!options_.background) StopPollThread();
        return;
    }
    if (!shownOnce_) {
        shownOnce_ = true;
        StartUpload();
    } else if (IsItemChecked(IDC_DIAG_AUTO) && !uploadRunning_) {
        StartPollThread();
    }
}

bool CdlgDiagHistory::StartPollThread() {
    // The poll goes on from where the history read ended; never beside it.
    if (!layoutOk_ || uploadRunning_) return false;
    return poll_.Start();
}

bool CdlgDiagHistory::PausePollThread(uint32_t timeoutMs) {
    return poll_.Pause(timeoutMs);
}

void CdlgDiagHistory::StopPollThread() {
    poll_.Stop();
}

void CdlgDiagHistory::PostStatus(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        statusTexts_.push_back(text);
    }
    Post(foundation::kDiagHistoryMessage, kDiagStatus);
}

void CdlgDiagHistory::StartUpload() {
    if (uploadRunning_) return;
    poll_.Stop();
    upload_.Join();
    uploadRunning_ = true;
    if (!upload_.Start("DiagHistoryUpload", [this](platform::StopToken&) { UploadThread(); }))
        uploadRunning_ = false;
}

void CdlgDiagHistory::UploadThread() {
    // The window reads these members only after the "history read" message.
    PostStatus("Reading historical messages...");
    std::string error;
    std::vector<drive::CDiagHistoryMsg> messages;
    drive::DiagHistoryLayout layout;
    bool ok = drive::ReadDiagHistoryLayout(source_, layout, error);
    uint32_t newest = 0, ack = 0;
    if (ok) {
        offsetNs_ = drive::ComputeDiagTimeOffset(source_, nowUnixSeconds());
        PostStatus("Reading messages...");
        ok = drive::ReadDiagHistory(source_, layout, offsetNs_, messages, &newest, &ack, error);
    }
    {
        std::lock_guard lock(mutex_);
        layout_ = layout;
        layoutOk_ = ok;
        if (ok) poller_.SetLastSeen(newest, ack);
        uploaded_ = std::move(messages);
        if (!ok) statusTexts_.push_back(error);
    }
    uploadRunning_ = false;
    if (!ok) Post(foundation::kDiagHistoryMessage, kDiagStatus);
    Post(foundation::kDiagHistoryMessage, kDiagUploadDone);
}

void CdlgDiagHistory::PollPass() {
    std::vector<drive::CDiagHistoryMsg> fresh;
    bool ackChanged = false;
    std::string error;
    if (!poller_.Poll(source_, layout_, offsetNs_, fresh, ackChanged, error)) {
        PostStatus(error);
        return;
    }
    if (!fresh.empty()) {
        {
            std::lock_guard lock(mutex_);
            fresh_.insert(fresh_.end(), fresh.begin(), fresh.end());
        }
        Post(foundation::kDiagHistoryMessage, kDiagNewMessages);
    } else if (ackChanged) {
        {
            std::lock_guard lock(mutex_);
            ackFromPoll_ = poller_.LastAck();
        }
        Post(foundation::kDiagHistoryMessage, kDiagAckChanged);
    }
}

void CdlgDiagHistory::AddMessageRow(const drive::CDiagHistoryMsg& msg) {
    if (msg.textId == drive::kHiddenDiagTextId || !grid_) return;
    // Under the header; with no data row yet that is the end.
    const int row = grid_->InsertRow("", grid_->GetRowCount() > 1 ? 1 : -1);
    if (row < 0) return;
    const std::string text = drive::DiagMessageText(texts_, msg.textId);
    grid_->SetItemText(row, 0, drive::DiagMessageJson(msg, text, options_.iso, options_.microseconds));
    grid_->SetItemText(row, 1, std::to_string(msg.type));
    grid_->SetItemText(row, 2, msg.FormatTime(options_.iso, options_.microseconds));
    grid_->SetItemText(row, 3, text);
    if (controls::CGridCellBase* cell = grid_->GetCell(row, 1)) cell->SetImage(msg.type <= 2 ? msg.type : -1);
    if (controls::CGridCellBase* cell = grid_->GetCell(row, 2))
        cell->SetData(static_cast<intptr_t>(msg.timeStamp));
    if (controls::CGridCellBase* cell = grid_->GetCell(row, 3)) cell->SetData(++arrival_);
    for (int col = 1; col < 4; ++col)
        if (controls::CGridCellBase* cell = grid_->GetCell(row, col))
            cell->SetTextClr(msg.marker == 0 ? kUnmarkedColour : 0);
    rowMessages_[arrival_] = msg;
}

void CdlgDiagHistory::SortRows() {
    if (!grid_) return;
    grid_->SortItems(
        [](const controls::CGridCellBase* a, const controls::CGridCellBase* b, intptr_t) {
            const intptr_t x = a ? a->GetData() : 0, y = b ? b->GetData() : 0;
            return x < y ? -1 : (x > y ? 1 : 0);
        },
        3, false);
    grid_->Refresh();
}

void CdlgDiagHistory::UpdateTotal() {
    const int rows = grid_ ? grid_->GetRowCount() - 1 : 0;
    SetItemText(IDC_DIAG_TOTAL, std::to_string(rows) + " messages");
}

void CdlgDiagHistory::OnHistoryMessage(uintptr_t code) {
    switch (code) {
        case kDiagNewMessages: {
            std::vector<drive::CDiagHistoryMsg> fresh;
            uint32_t slots = 0;
            {
                std::lock_guard lock(mutex_);
                fresh.swap(fresh_);
                slots = layout_.maxMsg;
            }
            if (fresh.empty() || !grid_) break;
            SortRows();
            // Oldest rows go so that the list never holds more than the ring.
            const int keep = std::max<int>(0, static_cast<int>(slots) - static_cast<int>(fresh.size()));
            while (grid_->GetRowCount() - 1 > keep) {
                const int last = grid_->GetRowCount() - 1;
                if (controls::CGridCellBase* cell = grid_->GetCell(last, 3))
                    rowMessages_.erase(cell->GetData());
                grid_->DeleteRow(last);
            }
            for (const auto& msg : fresh) AddMessageRow(msg);
            grid_->Refresh();
            UpdateTotal();
            break;
        }
        case kDiagAckChanged:
            break;
        case kDiagStatus: {
            std::vector<std::string> texts;
            {
                std::lock_guard lock(mutex_);
                texts.swap(statusTexts_);
            }
            if (!texts.empty()) SetItemText(IDC_DIAG_STATUS, texts.back());
            break;
        }
        case kDiagUploadDone: {
            std::vector<drive::CDiagHistoryMsg> messages;
            {
                std::lock_guard lock(mutex_);
                messages.swap(uploaded_);
            }
            if (!grid_) break;
            grid_->SetRowCount(1);
            rowMessages_.clear();
            for (const auto& msg : messages) AddMessageRow(msg);
            SortRows();
            UpdateTotal();
            if (layoutOk_ && grid_->GetRowCount() <= 1) SetItemText(IDC_DIAG_STATUS, "No message");
            if (IsItemChecked(IDC_DIAG_AUTO)) StartPollThread();
            break;
        }
        case kDiagFormatChanged:
            if (!grid_) break;
            for (int row = 1; row < grid_->GetRowCount(); ++row) {
                const controls::CGridCellBase* cell = grid_->GetCell(row, 3);
                const auto it = cell ? rowMessages_.find(cell->GetData()) : rowMessages_.end();
                if (it == rowMessages_.end()) continue;
                const drive::CDiagHistoryMsg& msg = it->second;
                grid_->SetItemText(row, 2, msg.FormatTime(options_.iso, options_.microseconds));
                grid_->SetItemText(row, 0,
                                   drive::DiagMessageJson(msg, drive::DiagMessageText(texts_, msg.textId),
                                                          options_.iso, options_.microseconds));
            }
            grid_->Refresh();
            break;
        default:
            break;
    }
}

std::string CdlgDiagHistory::CopyAllText() const {
    std::vector<std::string> objects;
    if (grid_)
        for (int row = 1; row < grid_->GetRowCount(); ++row) objects.push_back(grid_->GetItemText(row, 0));
    return drive::DiagMessagesJsonArray(objects);
}

void CdlgDiagHistory::OnCopyAll() {
    if (!platform::ui::SetClipboardText(CopyAllText())) {
        platform::Prompts().MessageBox("Cannot open the Clipboard", "Diagnosis History",
                                       platform::MB_OK | platform::MB_ICONWARNING);
        return;
    }
    SetItemText(IDC_DIAG_STATUS, "Data copied to Clipboard");
}

void CdlgDiagHistory::OnUpdate(bool acknowledge) {
    if (uploadRunning_ || !layoutOk_) return;
    const bool wasRunning = poll_.Running();
    if (wasRunning && !PausePollThread(2000)) return;
    PollPass();
    if (acknowledge && poller_.LastNewest() != poller_.LastAck())
        source_.WriteCell("DiagHistoryNewestAckMsg", poller_.LastNewest());
    if (wasRunning) StartPollThread();
}

void CdlgDiagHistory::OnAutoUpdate() {
    if (IsItemChecked(IDC_DIAG_AUTO)) {
        if (!uploadRunning_) StartPollThread();
    } else {
        StopPollThread();
    }
}

void CdlgDiagHistory::OnOptions() {
    CDiagHistOpt dialog(options_);
    if (dialog.DoModal(Wx()) != platform::IDOK) return;
    const DiagHistoryOptions chosen = dialog.options;
    const bool formatChanged = chosen.iso != options_.iso || chosen.microseconds != options_.microseconds;
    const bool changed =
        formatChanged || chosen.periodMs != options_.periodMs || chosen.background != options_.background;
    options_ = chosen;
    poll_.SetPeriodMs(options_.periodMs);
    if (formatChanged) {
        if (grid_) ColumnHeaders();
        Post(foundation::kDiagHistoryMessage, kDiagFormatChanged);
    }
    if (changed && saveOptions) saveOptions(options_);
}

void CdlgDiagHistory::OnSetTimestamp() {
    const int64_t seconds = nowUnixSeconds() - drive::kDiagEpochUnixSeconds;
    if (source_.WriteCell("TimeStampManufLocal", static_cast<uint32_t>(seconds)) == 0) {
        offsetNs_ = 0;
        SetItemText(IDC_DIAG_STATUS, "Drive time set");
    } else {
        SetItemText(IDC_DIAG_STATUS, "Cannot set the drive time: " + source_.LastErrorText());
    }
}

void CdlgDiagHistory::OnDelete() {
    if (clearLogger) clearLogger();
    StopPollThread();
    source_.WriteCell("DiagHistoryNewestAckMsg", 0);
    StartUpload();
}

void CdlgDiagHistory::OnSynchronize() {
    StopPollThread();
    StartUpload();
}

}  // namespace app
