#include "app/DriveErrorTree.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/MainDlgStatus.h"
#include "drive/DriveValueHelpers.h"

namespace app {
namespace {

uint32_t NumberOf(const foundation::CXmlNode& node, const char* name) {
    const std::string text = node.GetAttribute(name, "0");
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

int ImageOf(int level) {
    return std::clamp(level, 0, kErrorImageCount - 1);
}

}  // namespace

// ---- error list -------------------------------------------------------------------------------------

void CErrorList::Load(const foundation::CXmlNode* driveData, const std::string& builtInList) {
    builtIn_.reset();
    node_ = nullptr;
    if (driveData != nullptr)
        if (const foundation::CXmlNode* list = driveData->FindNode("ERRORLIST")) {
            node_ = list;
            return;
        }
    if (builtInList.empty()) return;
    auto document = std::make_unique<foundation::CXmlDocument>();
    if (document->LoadXml(builtInList) != foundation::S_OK) return;
    if (document->Root().Name() == "ERRORLIST")
        node_ = &document->Root();
    else
        node_ = document->Root().FindNode("ERRORLIST");
    if (node_ != nullptr) builtIn_ = std::move(document);
}

std::vector<ErrorDefinition> CErrorList::Definitions() const {
    return node_ != nullptr ? ReadErrorDefinitions(*node_) : std::vector<ErrorDefinition>{};
}

// ---- tree -------------------------------------------------------------------------------------------

bool CErrorTree::Read(const std::string& name, const ErrorCellReader& read, uint32_t* value) {
    if (auto it = values_.find(name); it != values_.end()) {
        *value = it->second;
        return true;
    }
    if (failed_.count(name)) return false;
    uint32_t v = 0;
    const int rc = read ? read(name, &v) : -1;
    if (rc != 0) {
        failed_[name] = rc;
        return false;
    }
    values_[name] = v;
    *value = v;
    return true;
}

void CErrorTree::ForgetBelow(const foundation::CXmlNode& node) {
    items_.erase(&node);
    images_.erase(&node);
    for (const foundation::CXmlNode* child : node.Children()) ForgetBelow(*child);
}

void CErrorTree::Remove(const foundation::CXmlNode& node) {
    if (auto it = items_.find(&node); it != items_.end()) view_.RemoveItem(it->second);
    ForgetBelow(node);
}

CErrorTree::Walk CErrorTree::Evaluate(const foundation::CXmlNode& node, const ErrorCellReader& read) {
    Walk walk;
    if (node.Name() == "ERROR") {
        uint32_t value = 0;
        walk.active = Read(node.GetAttribute("address"), read, &value) &&
                      (value & NumberOf(node, "mask")) == NumberOf(node, "value");
        if (walk.active) walk.level = node.GetAttributeInt("level", 0);
        return walk;
    }
    for (const foundation::CXmlNode* child : node.Children()) {
        if (child->Name() != "ERROR" && child->Name() != "GROUP") continue;
        const Walk inner = Evaluate(*child, read);
        if (!inner.active) continue;
        walk.level = walk.active ? std::max(walk.level, inner.level) : inner.level;
        walk.active = true;
    }
    return walk;
}

CErrorTree::Walk CErrorTree::WalkError(const foundation::CXmlNode& error, intptr_t parent,
                                       const ErrorCellReader& read) {
    const Walk walk = Evaluate(error, read);
    if (!walk.active) {
        Remove(error);
        return walk;
    }
    if (!items_.count(&error)) {
        const int image = ImageOf(walk.level);
        items_[&error] = view_.AddItem(parent, error.GetAttribute("title"), image);
        images_[&error] = image;
    }
    return walk;
}

CErrorTree::Walk CErrorTree::WalkChildren(const foundation::CXmlNode& node, intptr_t parent,
                                          const ErrorCellReader& read) {
    Walk all;
    for (const foundation::CXmlNode* child : node.Children()) {
        Walk walk;
        if (child->Name() == "ERROR") {
            walk = WalkError(*child, parent, read);
        } else if (child->Name() == "GROUP") {
            // The group's item must be there before its children's; whether it is needed at all
            // is known from the values alone (each variable is read once per refresh).
            walk = Evaluate(*child, read);
            if (!walk.active) {
                Remove(*child);
                continue;
            }
            auto it = items_.find(child);
            const bool created = it == items_.end();
            const int image = ImageOf(walk.level);
            if (created) {
                it =
                    items_
                        .emplace(child, view_.AddItem(parent, child->GetAttribute("title", "NoTitle"), image))
                        .first;
                images_[child] = image;
            } else if (images_[child] != image) {
                view_.SetItemImage(it->second, image);
                images_[child] = image;
            }
            WalkChildren(*child, it->second, read);
            if (created && child->GetAttributeInt("expand", 0) != 0) view_.Expand(it->second);
        } else {
            continue;
        }
        if (!walk.active) continue;
        all.level = all.active ? std::max(all.level, walk.level) : walk.level;
        all.active = true;
    }
    return all;
}

int CErrorTree::Refresh(const ErrorCellReader& read) {
    values_.clear();
    failed_.clear();
    if (list_ == nullptr) {
        if (missing_ == 0) missing_ = view_.AddItem(0, kMissingErrorListText, kMissingListImage);
        return 0;
    }
    const Walk walk = WalkChildren(*list_, 0, read);
    // "No error" only when nothing at all is active: an active error of level 0 is still an error.
    if (!walk.active && noError_ == 0) {
        noError_ = view_.AddItem(0, kNoErrorText, kNoErrorImage);
    } else if (walk.active && noError_ != 0) {
        view_.RemoveItem(noError_);
        noError_ = 0;
    }
    return walk.level;
}

void CErrorTree::Clear() {
    view_.RemoveAll();
    items_.clear();
    images_.clear();
    noError_ = 0;
    missing_ = 0;
}

bool CErrorTree::EsiUpdateWanted() const {
    auto it = values_.find(kEsiErrorVariable);
    return it != values_.end() && (it->second & kEsiUpdateBit) != 0;
}

// ---- reset ------------------------------------------------------------------------------------------

ErrorResetResult ResetDriveErrors(CErrorResetAccess& access, const ErrorResetPlan& plan) {
    struct Step {
        std::string name;
        uint32_t value;
        const char* label;
    };
    std::vector<Step> steps = {{plan.warningVariable, 0, "(DriveWarning error)"},
                               {plan.alarmVariable, 0, "(DriveAlarm error)"}};
    if (plan.xulFamily) {
        steps.push_back({"Controlword", 5, "(Controlword error)"});
    } else {
        uint32_t statusword = 0;
        if (const int rc = access.ReadCell(plan.statuswordVariable, &statusword); rc != 0)
            return {false, "Reset read error (Statusword error)", rc};
        if (drive::DriveStateFromStatusword(static_cast<int32_t>(statusword)) == drive::kStateFault) {
            // A rising edge of the fault reset bit.
            steps.push_back({"controlword", 0, "(Controlword error)"});
            steps.push_back({"controlword", 0x80, "(Controlword error)"});
        }
    }
    for (const Step& step : steps) {
        // A write the engine never reached must not count as done.
        int32_t result = kReadNotExecuted;
        if (const int rc = access.ExecuteWrite(step.name, step.value, &result); rc != 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Error %d writing data", rc);
            return {false, text, rc};
        }
        if (result != 0) return {false, std::string("Reset write error ") + step.label, result};
    }
    return {};
}

}  // namespace app
