#pragma once

// Configuration-file sources: the program's own data, patch packages (".cdi" files) installed
// beside it or for the user, custom entries and further sources named in the registry, one of
// them current; and the extra folders listed in "PelmoraExtraXmlPaths.txt".

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Thread.h"

namespace foundation {

class CIdentity;

// One installed package of a source.
struct PatchModule {
    std::string xmlFolder;    // the module's configuration folder (key of the source's map)
    std::string fileName;     // its ".cdi" file name
    std::string version;      // version text of the ".cdi" file
    std::string installedBy;  // "TunovaPatch", "user", "Tunova 1.2", a registry value name...
    uint8_t kind = 0;         // 0 machine-wide, 1 per user
};

// Custom entry of a source (registry "Custom" subkey).
struct CPelmoraCustom {
    std::string folder;  // folder of the ".cdi" file
    std::string key;     // registry subkey name
    std::string title;   // title of the ".cdi" file
};

class CBrand {
  public:
    std::string m_strName;  // compared without regard to case
    std::map<std::string, PatchModule> m_modules;
    std::string m_strFolder;      // current configuration folder (mode 0)
    std::string m_strDataFolder;  // data folder
    std::string m_strBaseFolder;  // base folder: index files, and its "Xml" folder (mode 1)
    std::string m_strPackageTitle;
    std::vector<CPelmoraCustom> m_custom;

    // The module whose folder is the source's current folder, null when none.
    const PatchModule* FindFolderEntry() const;
};

class CBrandList {
  public:
    CBrandList();
    ~CBrandList();
    CBrandList(const CBrandList&) = delete;
    CBrandList& operator=(const CBrandList&) = delete;

    // Builds the list at start-up from the program data folder, the registry (product key
    // "Custom" and, with the beta switch, "Xml" subkeys; the patch package key; per-user "Patch"
    // values) and the ".cdi" files they name.
    void LoadConfigurationFolders();
    void RemoveAll();

    // Reads "PelmoraExtraXmlPaths.txt" of the common and of the user data folder and tests each
    // listed path on its own worker; existing folders are added to the extra folders as their
    // tests end. Returns at once. Without any listed path the earlier extra folders stay.
    void LoadExtraPaths();
    // Waits until the workers of the last scan have ended.
    void WaitExtraPaths();
    // How a listed path is tested (the default: it exists and is a folder). A test may hang on a
    // vanished network share; the workers therefore own what they write to, and the list waits
    // for them at most the join time-out when it is destroyed or a new scan starts. Workers that
    // are still busy then are joined later, at the next scan or when the program ends.
    using FolderTest = std::function<bool(const std::string& path)>;
    void SetFolderTest(FolderTest test);
    void SetScanJoinTimeoutMs(uint32_t ms) { m_scanJoinTimeoutMs = ms; }
    // Copy of the extra folders found so far.
    std::vector<std::string> GetExtraFolders() const;

    // Mode 0 the source's folder; 1 "Xml" below its base folder; n >= 2 custom entry n - 2. Null
    // name: the current source. Empty when the source or the entry does not exist.
    std::string GetBrandFolder(const char* name, int mode) const;
    std::string GetCurrentFolder() const;

    // Looks the identity's configuration file up in the maker's cloud index and downloads it
    // into the common data folder's "Xml" folder; true when a file was downloaded.
    bool SearchCloud(const CIdentity& target);

    std::vector<std::unique_ptr<CBrand>>& Sources() { return m_sources; }
    const std::vector<std::unique_ptr<CBrand>>& Sources() const { return m_sources; }
    CBrand* GetCurrent() const;
    CBrand* FindSource(const std::string& name) const;
    int GetCurrentIndex() const { return m_current; }
    void SetCurrentIndex(int index) { m_current = index; }

  private:
    // The extra folders, shared with the workers of one scan: a worker outliving the list (or
    // its scan) writes only here.
    struct ScanResult {
        std::mutex lock;
        std::vector<std::string> folders;
    };
    void StopScan(uint32_t timeoutMs);

    std::vector<std::unique_ptr<CBrand>> m_sources;
    int m_current = 0;
    mutable std::mutex m_lock;  // guards m_scan (the pointer)
    std::shared_ptr<ScanResult> m_scan = std::make_shared<ScanResult>();
    std::vector<std::unique_ptr<platform::Thread>> m_scanThreads;
    FolderTest m_folderTest;
    uint32_t m_scanJoinTimeoutMs = 2000;
};

// Adds the packages of a program data folder to a source.
void AddProgramPackages(CBrand& source, const std::string& folder);
// Adds the package of a ".cdi" file; false when the file gives no title and version.
bool AddPatchModule(CBrand& source, const std::string& file, const std::string& installedBy, uint8_t kind);
// A configuration answer's "brand" attribute names another known source: it becomes current.
bool SelectBrandFromXml(const std::string& xmlText, CBrandList& list);

// Scan workers of any list still busy past their join time-out (joined as they end).
size_t LateExtraPathWorkers();

// The program's list of configuration-file sources.
CBrandList& GetBrandList();

}  // namespace foundation
