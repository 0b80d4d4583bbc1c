#include "app/MainDlgDipSwitch.h"

#include <cstdlib>

#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "controls/DipSwitch.h"
#include "foundation/XmlDocument.h"

namespace app {
namespace {

uint32_t Number(const foundation::CXmlNode& node, const char* name) {
    const std::string text = node.GetAttribute(name, "0");
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

}  // namespace

std::vector<DipFunction> ReadDipFunctions(const foundation::CXmlNode* node) {
    std::vector<DipFunction> out;
    if (node == nullptr) return out;
    for (const foundation::CXmlNode* func : node->Children()) {
        if (func->Name() != "Func") continue;
        DipFunction f;
        f.title = func->GetAttribute("title", func->GetAttribute("Title"));
        f.mask = Number(*func, "mask") | Number(*func, "Mask");
        for (const foundation::CXmlNode* el : func->Children())
            if (el->Name() == "El") f.values.emplace_back(Number(*el, "Value"), el->GetAttribute("Text"));
        out.push_back(std::move(f));
    }
    return out;
}

std::string DipFunctionText(const DipFunction& function, uint32_t setting) {
    const uint32_t value = setting & function.mask;
    for (const auto& [v, text] : function.values)
        if (v == value) return function.title + ": " + text;
    return function.title + ": ?";
}

CDlgXulDipswitch::CDlgXulDipswitch(wxWindow* parent, const wxPoint& position)
    : panel_(new wxPanel(parent, wxID_ANY, position)) {
    auto* sizer = new wxStaticBoxSizer(wxVERTICAL, panel_, "");
    box_ = sizer->GetStaticBox();
    switches_ = new controls::CDipSwitch();
    switches_->Create(box_, wxID_ANY);
    sizer->Add(switches_, 0, wxALL, 2);
    panel_->SetSizerAndFit(sizer);
}

void CDlgXulDipswitch::LoadFunctions(const std::string& title, const foundation::CXmlNode* node) {
    box_->SetLabel(wxString::FromUTF8(title));
    functions_ = ReadDipFunctions(node);
    auto* sizer = panel_->GetSizer();
    for (wxStaticText* line : lines_) line->Destroy();
    lines_.clear();
    for (size_t i = 0; i < functions_.size(); ++i) {
        auto* line = new wxStaticText(box_, wxID_ANY, wxString::FromUTF8(functions_[i].title + ":"));
        sizer->Add(line, 0, wxLEFT | wxRIGHT, 4);
        lines_.push_back(line);
    }
    panel_->Fit();
    shown_.reset();
}

bool CDlgXulDipswitch::SetSwitches(uint32_t value) {
    if (shown_ && *shown_ == value) return false;
    shown_ = value;
    switches_->DrawSetting(static_cast<uint8_t>(value & 0xFF));
    for (size_t i = 0; i < functions_.size(); ++i)
        lines_[i]->SetLabel(wxString::FromUTF8(DipFunctionText(functions_[i], value)));
    panel_->Layout();
    return true;
}

std::string CDlgXulDipswitch::Title() const {
    return box_->GetLabel().utf8_string();
}

std::vector<std::string> CDlgXulDipswitch::Lines() const {
    std::vector<std::string> out;
    for (const wxStaticText* line : lines_) out.push_back(line->GetLabel().utf8_string());
    return out;
}

}  // namespace app
