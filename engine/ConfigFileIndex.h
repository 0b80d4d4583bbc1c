#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/Vocabolario.h"
#include "foundation/XmlDocument.h"
#include "platform/Messages.h"

namespace foundation {
class CBrand;
class CIdentity;
}  // namespace foundation

namespace engine {

// The program-wide index-built flag: set by a build; cleared to force a rebuild at the next need
// (engine construction, the connection dialog, the window that imports or removes description files).
bool IsVocabularyIndexBuilt();
void SetVocabularyIndexBuilt(bool built);
inline void ClearVocabularyIndexBuilt() {
    SetVocabularyIndexBuilt(false);
}

// The engine's vocabulary list, built from the description files of every configuration-file
// source, with one ".idx" index file per folder that caches each file's header data, size and
// write time so that a rebuild reads only new or changed files. Never changes the working directory.
class CConfigFileIndex {
  public:
    // A file to be read into an index.
    struct scanFile {
        std::string name;
        std::string date;
        uint64_t size = 0;
    };
    // An index read from disk (document root XmlIndex) or a new one (empty document), with its file.
    struct IndexEntry {
        std::unique_ptr<foundation::CXmlDocument> document;
        std::filesystem::path file;
    };
    // Lower-cased folder path -> index entry (during a build only).
    using IndexMap = std::map<std::string, IndexEntry>;

    // Progress notification codes (second message parameter; the first is 1).
    static constexpr uint32_t kProgressStart = 0x60000000;
    static constexpr uint32_t kProgressRange = 0x80000000;  // | file count
    static constexpr uint32_t kProgressStep = 0xC0000000;   // | files remaining
    static constexpr uint32_t kProgressEnd = 0xC0000000;
    static constexpr int kIndexVersion = 3;

    // Indexes the folders of the program's configuration-file sources (GetBrandList()). Clears the
    // index-built flag: the engine that holds the list starts without one.
    CConfigFileIndex();
    virtual ~CConfigFileIndex();
    CConfigFileIndex(const CConfigFileIndex&) = delete;
    CConfigFileIndex& operator=(const CConfigFileIndex&) = delete;

    // Progress of long scans goes there (nothing without a window): sent on its own thread, else posted.
    void SetNotificationWindow(platform::WindowHandle window, unsigned message);

    // Deletes every vocabulary and builds the list again; returns the number of vocabularies.
    int BuildVocabularyIndex();
    // Updates one folder's index and appends the folder's vocabularies to the list.
    void ScanConfigurationFolder(const std::string& folder, IndexMap& indexes,
                                 const foundation::CBrand& brand, uint32_t folderMode);
    // Appends one File element (with an Item per hardware code) for a description document.
    static void AddIndexFileEntry(foundation::CXmlNode& indexRoot, const std::string& fileName, uint64_t size,
                                  const std::string& date, const foundation::CXmlNode& device);
    // "<Vocabularies>" + the header of every vocabulary + "</Vocabularies>" (building the index
    // first when needed); returns the number of headers.
    int GetVocabularies(std::string& out);
    // First vocabulary of that software code, hardware code (any for 0) and identity version
    // (all five numbers); -1 when none.
    int FindVocabulary(uint32_t hardwareCode, uint32_t softwareCode,
                       const foundation::CIdentity& identity) const;
    // Identity name (or description) of the first loaded vocabulary of that identity; empty when none.
    std::string GetVocabularyName(const foundation::CIdentity& identity) const;

    // The list: entries may be empty after a failed load. Nodes hold indices into it.
    int Count() const { return int(list_.size()); }
    CVocabolario* At(int index) const;
    // Deletes the vocabulary at index, empties its entry and drops empty entries from the end.
    void Drop(int index);
    void RemoveAll();

    // Date text of a file as the index keeps it (the file time in 100 ns units since 1601, as two
    // zero-padded 32-bit hexadecimal halves); false when the file cannot be examined.
    static bool FileDateText(const std::filesystem::path& file, std::string* date, uint64_t* size);
    // True when an index Item belongs to the brand (brand marking of its "oem", "sw" and "sw_ver").
    static bool ItemBelongsToBrand(const foundation::CXmlNode& item);
    // Index file path for a folder: "<a>_<b>.idx" of its last two lower-cased components in the base
    // folder, numbered when the name is taken.
    static std::filesystem::path IndexFileName(const std::string& lowerFolder, const std::string& baseFolder,
                                               const IndexMap& indexes);

  private:
    void Notify(uint32_t code) const;

    std::vector<std::unique_ptr<CVocabolario>> list_;
    platform::WindowHandle window_ = 0;
    unsigned message_ = 0;
};

}  // namespace engine
