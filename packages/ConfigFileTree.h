#pragma once

// What the configuration-file selection dialogs show, without the windows: the device tree of
// "FmwTree.xml" with the known configuration files grouped by hardware code and description,
// versions newest first, and the texts of the "not updated" question.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/Identity.h"

namespace foundation {
class CXmlNode;
class CBrandList;
}  // namespace foundation

namespace packages {

// One known configuration file (an element of the connection window's list).
struct ConfigFileEntry {
    uint32_t hw = 0, sw = 0, swVer = 0, build = 0;
    int nFw = 0;
    std::string descr, file, brand;
    foundation::CIdentity identity;  // read with CIdentity::ReadDeviceNode
};

struct ConfigTreeItem {
    std::string text;
    std::string icon;  // name of an "Icon" of the tree file; empty: the default image
    int entry = -1;    // index into ConfigFileTree::entries; -1: none
    std::vector<ConfigTreeItem> children;
};

struct ConfigFileTree {
    std::vector<ConfigTreeItem> roots;
    std::vector<ConfigFileEntry> entries;
    // "Icon" elements of the tree file: name and base64 PNG data, in file order.
    std::vector<std::pair<std::string, std::string>> icons;
    // Entry equal to the connected device's identity, -1 when none.
    int preselected = -1;
};

// The entry's version requirements against the program's own version (attributes "type",
// "minver", "maxver", "recver"); true keeps the entry.
using ConfigEntryVersionCheck = std::function<bool(const foundation::CXmlNode& entry)>;

// deviceTree: root of "FmwTree.xml", null when missing or unreadable (every group then goes to
// the top level). files: the element whose children are the known configuration files.
// connected: the connected device's identity, null when none.
ConfigFileTree BuildConfigFileTree(const foundation::CXmlNode* deviceTree, const foundation::CXmlNode* files,
                                   const ConfigEntryVersionCheck& versionCheck,
                                   const foundation::CIdentity* connected);

// Folder of "FmwTree.xml": the parent of the source's configuration folder, or the folder itself
// when it has no separator after its first character.
std::string DeviceTreeFolder(const std::string& sourceFolder);

// Folder of an entry's file: the folder of its source ("brand", mode "nFw"), empty without one.
std::string EntryFolder(const ConfigFileEntry& entry, const foundation::CBrandList& sources);

// "hw=%lu  sw=%lu  %s/%s", at most 260 characters.
std::string SelectionText(const ConfigFileEntry& entry, const std::string& folder);

// Texts of the "Configuration file not updated" dialog.
std::string XmlNotUpdatedExpectedText(const std::string& expected);
// Empty when no alternative is proposed (index outside the list).
std::string XmlNotUpdatedQuestion(const std::string& expected, const std::vector<std::string>& alternatives,
                                  int proposed);

}  // namespace packages
