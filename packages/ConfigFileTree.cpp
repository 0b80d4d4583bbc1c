#include "packages/ConfigFileTree.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "foundation/BrandList.h"
#include "foundation/XmlNode.h"

namespace packages {

using foundation::CXmlNode;

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

uint32_t UIntAttribute(const CXmlNode& node, const char* name) {
    const int value = node.GetAttributeInt(name, 0);
    return value < 0 ? 0 : static_cast<uint32_t>(value);
}

bool IsTrue(const std::string& text) {
    return !text.empty() && text != "0" && !EqualNoCase(text, "false") && !EqualNoCase(text, "no");
}

std::set<uint32_t> IgnoredCodes(const std::string& list) {
    std::set<uint32_t> codes;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        std::string code = list.substr(start, end - start);
        code.erase(0, code.find_first_not_of(" \t"));
        code.erase(code.find_last_not_of(" \t") + 1);
        if (!code.empty() && code.size() <= 9 && code.find_first_not_of("0123456789") == std::string::npos)
            codes.insert(static_cast<uint32_t>(std::stoul(code)));
        start = end + 1;
    }
    return codes;
}

std::string DescriptionKey(const std::string& descr) {
    std::string key;
    for (unsigned char c : descr) {
        if (c != ' ') key += static_cast<char>(std::tolower(c));
    }
    return key;
}

// One hardware code's entries, by description in order of first appearance.
struct Group {
    struct Description {
        std::string key, text;
        std::vector<int> entries;
    };
    std::vector<Description> descriptions;
    bool placed = false;
};

void AddGroup(const Group& group, const std::vector<ConfigFileEntry>& entries,
              std::vector<ConfigTreeItem>& into) {
    for (const Group::Description& description : group.descriptions) {
        ConfigTreeItem item;
        item.text = description.text;
        std::vector<int> versions;
        for (int i : description.entries) {
            if (entries[size_t(i)].identity.IsValid()) versions.push_back(i);
        }
        std::stable_sort(versions.begin(), versions.end(), [&entries](int a, int b) {
            return entries[size_t(a)].identity.IsVersionGreater(entries[size_t(b)].identity);
        });
        for (int i : versions) {
            ConfigTreeItem version;
            version.text = entries[size_t(i)].identity.version.GetText();
            version.entry = i;
            item.children.push_back(std::move(version));
        }
        if (!versions.empty()) item.entry = versions.front();
        into.push_back(std::move(item));
    }
}

void AddNodes(const CXmlNode& parent, std::map<uint32_t, Group>& groups,
              const std::vector<ConfigFileEntry>& entries, std::vector<ConfigTreeItem>& into) {
    for (const CXmlNode* node : parent.Children()) {
        if (node->Name() != "Node") continue;
        ConfigTreeItem item;
        item.text = node->GetAttribute("title", "");
        item.icon = node->GetAttribute("icon", "");
        const uint32_t hw = UIntAttribute(*node, "hw");
        if (hw != 0) {
            auto it = groups.find(hw);
            if (it != groups.end() && !it->second.placed) {
                AddGroup(it->second, entries, item.children);
                it->second.placed = true;
            }
        } else {
            AddNodes(*node, groups, entries, item.children);
        }
        into.push_back(std::move(item));
    }
}

}  // namespace

ConfigFileTree BuildConfigFileTree(const CXmlNode* deviceTree, const CXmlNode* files,
                                   const ConfigEntryVersionCheck& versionCheck,
                                   const foundation::CIdentity* connected) {
    ConfigFileTree tree;
    const bool hasTree = deviceTree && EqualNoCase(deviceTree->Name(), "DeviceFmw");
    const std::set<uint32_t> ignored =
        hasTree ? IgnoredCodes(deviceTree->GetAttribute("ignore", "")) : std::set<uint32_t>{};
    if (hasTree) {
        for (const CXmlNode* icons : deviceTree->Children()) {
            if (icons->Name() != "Icons") continue;
            for (const CXmlNode* icon : icons->Children()) {
                if (icon->Name() == "Icon")
                    tree.icons.emplace_back(icon->GetAttribute("name", ""), icon->GetAttribute("data", ""));
            }
        }
    }

    std::map<uint32_t, Group> groups;
    std::vector<uint32_t> groupOrder;  // hardware codes in order of first appearance
    if (files) {
        for (const CXmlNode* node : files->Children()) {
            if (versionCheck && !versionCheck(*node)) continue;
            ConfigFileEntry entry;
            entry.hw = UIntAttribute(*node, "hw");
            if (entry.hw == 0 || IsTrue(node->GetAttribute("hide", "")) || ignored.count(entry.hw) != 0)
                continue;
            entry.sw = UIntAttribute(*node, "sw");
            entry.swVer = UIntAttribute(*node, "sw_ver");
            entry.build = UIntAttribute(*node, "build");
            entry.nFw = node->GetAttributeInt("nFw", 0);
            entry.descr = node->GetAttribute("descr", "");
            entry.file = node->GetAttribute("file", "");
            entry.brand = node->GetAttribute("brand", "");
            entry.identity.ReadDeviceNode(node);
            const int index = static_cast<int>(tree.entries.size());
            tree.entries.push_back(std::move(entry));

            auto [it, added] = groups.try_emplace(tree.entries.back().hw);
            if (added) groupOrder.push_back(it->first);
            const std::string key = DescriptionKey(tree.entries.back().descr);
            auto& descriptions = it->second.descriptions;
            auto d = std::find_if(descriptions.begin(), descriptions.end(),
                                  [&key](const Group::Description& x) { return x.key == key; });
            if (d == descriptions.end()) {
                descriptions.push_back({key, tree.entries.back().descr, {}});
                d = descriptions.end() - 1;
            }
            d->entries.push_back(index);
        }
    }

    if (hasTree) {
        AddNodes(*deviceTree, groups, tree.entries, tree.roots);
        ConfigTreeItem others;
        others.text = "Others";
        for (uint32_t hw : groupOrder) {
            if (!groups[hw].placed) AddGroup(groups[hw], tree.entries, others.children);
        }
        if (!others.children.empty()) tree.roots.push_back(std::move(others));
    } else {
        for (uint32_t hw : groupOrder) AddGroup(groups[hw], tree.entries, tree.roots);
    }

    if (connected && connected->IsValid()) {
        for (size_t i = 0; i < tree.entries.size(); ++i) {
            if (tree.entries[i].identity.IsValid() && tree.entries[i].identity.code == connected->code &&
                tree.entries[i].identity.IsEqual(*connected)) {
                tree.preselected = static_cast<int>(i);
                break;
            }
        }
    }
    return tree;
}

std::string DeviceTreeFolder(const std::string& sourceFolder) {
    std::string folder = sourceFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos || slash == 0) return folder;
    return folder.substr(0, slash);
}

std::string EntryFolder(const ConfigFileEntry& entry, const foundation::CBrandList& sources) {
    if (entry.brand.empty()) return std::string();
    return sources.GetBrandFolder(entry.brand.c_str(), entry.nFw);
}

std::string SelectionText(const ConfigFileEntry& entry, const std::string& folder) {
    std::string text = "hw=" + std::to_string(entry.hw) + "  sw=" + std::to_string(entry.sw) + "  " + folder +
                       "/" + entry.file;
    if (text.size() > 260) text.resize(260);
    return text;
}

std::string XmlNotUpdatedExpectedText(const std::string& expected) {
    return "'" + expected + "'.";
}

std::string XmlNotUpdatedQuestion(const std::string& expected, const std::vector<std::string>& alternatives,
                                  int proposed) {
    if (proposed < 0 || static_cast<size_t>(proposed) >= alternatives.size()) return std::string();
    return "Use '" + alternatives[size_t(proposed)] + "' instead of '" + expected + "' ?";
}

}  // namespace packages
