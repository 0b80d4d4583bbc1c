#pragma once
// A top-level frame with menus, a tool bar and a status bar, all sending
// numeric command ids to the frame's handlers.

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/Window.h"

class wxFrame;
class wxMenu;
class wxCommandEvent;

namespace platform::ui {

struct MenuSpec {
    MenuSpec(int id_ = 0, std::string caption_ = {}, std::vector<MenuSpec> children_ = {},
             bool checkable_ = false)
        : id(id_), caption(std::move(caption_)), children(std::move(children_)), checkable(checkable_) {}

    int id = 0;                      // 0 with no children: a separator
    std::string caption;             // "&Open...\tCtrl+O"
    std::vector<MenuSpec> children;  // a sub-menu when not empty
    bool checkable = false;
};

struct ToolSpec {
    ToolSpec(int id_ = 0, int imageId_ = 0, std::string tip_ = {}, bool checkable_ = false)
        : id(id_), imageId(imageId_), tip(std::move(tip_)), checkable(checkable_) {}

    int id = 0;       // 0: a separator
    int imageId = 0;  // resource id of the tool's picture
    std::string tip;
    bool checkable = false;
};

class Frame : public Window {
  public:
    Frame() = default;
    bool Create(const std::string& title, int width, int height, wxWindow* parent = nullptr);
    wxFrame* GetFrame() const;

    void SetMenus(const std::vector<MenuSpec>& menus);
    void SetToolBar(const std::vector<ToolSpec>& tools);
    // Status bar with panes of the given widths (-1: takes the rest).
    void SetStatusPanes(const std::vector<int>& widths);
    void SetStatusText(int pane, const std::string& text);
    std::string GetStatusText(int pane) const;

    void OnCommand(int id, std::function<void()> handler);
    void EnableCommand(int id, bool enable);
    void CheckCommand(int id, bool check);
    bool IsCommandChecked(int id) const;
    bool IsCommandEnabled(int id) const;
    // As the user choosing a menu item or tool.
    bool Command(int id);
    // The wx id a command's menu item and tool carry (for wx events).
    int WxIdOf(int command) const { return WxIdIfKnown(command); }

  private:
    void OnWxCommand(wxCommandEvent& event);
    // wx menu ids stop below 0x7FFF, command ids of the windows go above it.
    int WxId(int command);
    int WxIdIfKnown(int command) const;
    std::map<int, std::function<void()>> commands_;
    std::map<int, int> toWx_;
    std::map<int, int> fromWx_;
};

}  // namespace platform::ui
