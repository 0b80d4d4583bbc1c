#pragma once
// Tab controls whose tabs can be disabled: a disabled tab is drawn embossed in
// grey and can't be chosen with the mouse or the arrow keys.

#include <array>

#include "platform/ui/TabCtrl.h"

namespace controls {

class CTabCtrlWithDisable : public platform::ui::TabCtrl {
  public:
    virtual bool IsTabEnabled(int index) const = 0;

    // Selects a tab as the user would: the holder is asked (a negative answer
    // stops it) and told afterwards.
    bool SetActiveTab(int index);
    int NextEnabledTab(int index, bool wrap) const;
    int PrevEnabledTab(int index) const;

  protected:
    void DrawItem(platform::ui::DrawContext& dc, int index, const platform::ui::Rect& rect,
                  bool selected) override;
    virtual void DrawItemText(platform::ui::DrawContext& dc, const std::string& text,
                              const platform::ui::Rect& rect, bool disabled);
    bool ReflectSelChanging(platform::ui::Point cursor) override;
    bool PreTranslateKey(int keyCode) override;
};

class CDisableTab : public CTabCtrlWithDisable {
  public:
    static constexpr int kFlags = 20;

    CDisableTab() { enabled_.fill(true); }
    // Tabs from 20 on (and -1) always count as enabled.
    bool IsTabEnabled(int index) const override;
    // -1 enables every tab; any other index enables that tab only.
    void EnableOnly(int index);
    int Repaints() const { return repaints_; }

  private:
    std::array<bool, kFlags> enabled_{};
    int repaints_ = 0;
};

}  // namespace controls
