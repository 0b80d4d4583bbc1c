#pragma once

// What the module paths dialog does to the list of configuration-file sources, without the
// window: which source is shown and which is the default, the module rows of the shown source,
// and the commands Select, Add, Remove and Set default. Every command acts on the list at once;
// Cancel puts back what the list held when the dialog opened.

#include <map>
#include <string>
#include <vector>

#include "foundation/BrandList.h"

namespace packages {

class CModulePaths {
  public:
    struct Row {
        std::string installedBy, version, path;
        bool current = false;  // the path is the source's folder
    };

    // The default source is the list's current one.
    explicit CModulePaths(foundation::CBrandList& list);

    // Tabs are shown (and the default can change) only with two or more sources.
    bool ShowsTabs() const { return list_.Sources().size() >= 2; }
    // The sources' names, the default one preceded by "*".
    std::vector<std::string> TabTexts() const;
    int DefaultSource() const { return default_; }
    int ShownSource() const { return list_.GetCurrentIndex(); }
    void ShowSource(int index);

    // The shown source's modules in map order.
    std::vector<Row> Rows() const;
    int CurrentRow() const;
    // The shown source's folder.
    std::string SelectedPath() const;

    // The row's path becomes the source's folder; false when nothing changed.
    bool Select(int row);
    // Adds a patch package file as a module installed by "user"; false when it is not one.
    bool Add(const std::string& cdiFile);
    // Deletes the row's module; the folder moves to the first remaining module when it was its.
    bool Remove(int row);
    void SetDefault();

    bool Changed() const { return changed_; }
    // OK keeps the changes; either way the default source becomes current again.
    void Accept();
    // Puts back every source's folder and modules as they were at the start.
    void Cancel();

  private:
    foundation::CBrand* Shown() const { return list_.GetCurrent(); }

    struct Saved {
        std::string folder;
        std::map<std::string, foundation::PatchModule> modules;
    };
    foundation::CBrandList& list_;
    int default_;
    int startDefault_;
    std::vector<Saved> saved_;
    bool changed_ = false;
};

}  // namespace packages
