#pragma once
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/VocabularyItem.h"
#include "foundation/Identity.h"
#include "foundation/XmlDocument.h"

namespace engine {

// The object dictionary of one drive description file for one hardware variant: the drive variables
// that the engine reads and writes by name, and the header of the file. Created by the
// configuration-file index with its header only; Load reads the items when a node first uses it.
//
// Lookups (FindItem, FindItemByName, the address and title lookups) may come from several threads
// at once: a vocabulary is shared by every node bound to it. They are serialised by the
// vocabulary's own lock; Load builds the new table aside and swaps it in under that lock.
class CVocabolario {
  public:
    static constexpr uint32_t kBrandCode = 6871;
    static constexpr uint32_t kUnset = 0xFFFFFFFFu;

    CVocabolario(const std::string& brandName, uint32_t folderMode, const std::string& fileName,
                 uint32_t brandCode, bool severalVariants);
    virtual ~CVocabolario();
    CVocabolario(const CVocabolario&) = delete;
    CVocabolario& operator=(const CVocabolario&) = delete;

    // Header from an index Item element and the two numbers of its File element.
    void ReadHeader(const foundation::CXmlNode& item, uint32_t version, uint32_t xmlVer);
    // The header as one "Voc" element (texts escaped).
    std::string WriteHeader() const;
    // Brand folder of the folder mode + the file name.
    std::filesystem::path GetFilePath() const;

    // Reads the file and builds the item table; returns the item count (0 when the file cannot be
    // read or has no DICTIONARY element). Also replaces the program's user list from the file.
    uint32_t Load();
    // Loads from a document already read (the file path is only used in messages).
    uint32_t LoadDocument(foundation::CXmlDocument& document);
    void Clear();

    const VocabularyItem* FindItemByName(std::string_view name);
    // The lookup of every access by name: the rename table is tried for a missing name, and the
    // item must have an address on the channel type (0 offline, 1 and 8 Modbus, others fieldbus).
    const VocabularyItem* FindItem(std::string_view name, int channelType);
    // Item by Modbus address (the last item of that address) and by title (the name when an item
    // has no title).
    const VocabularyItem* FindItemByModbusAddress(uint16_t address) const;
    const VocabularyItem* FindItemByTitle(std::string_view title) const;

    // Enumeration: with proceed false it starts again at the first item, with proceed true it
    // continues after the last item given. 0 with the item's description as XML text, or -1 after
    // the last item.
    int GetNextItemXml(bool proceed, std::string& out);

    // Copies the source element into the target when its "_cond" (hardware and debug) and "auth"
    // (user right) conditions hold; children are filtered the same way. False when dropped.
    bool CopyFiltered(const foundation::CXmlNode& source, foundation::CXmlNode& target) const;

    uint32_t ItemCount() const;
    uint32_t BucketCount() const;
    // Names of the items in enumeration order (bucket by bucket, chain order).
    std::vector<std::string> ItemNamesInOrder() const;

    // Table helpers, public for the tests.
    static uint32_t NameHash(std::string_view name);
    static uint32_t BucketCountFor(int32_t itemCount);

    // Header (names as in the description format).
    uint32_t brandCode;
    uint8_t compact = 0;
    uint8_t filter = 0;
    uint32_t folderMode;
    uint32_t version = kUnset;
    uint32_t hw = kUnset;
    uint32_t sw = kUnset;
    uint32_t sw_ver = kUnset;
    uint32_t xml_ver = kUnset;
    std::string minver, maxver, recver;
    uint16_t build = 0;
    uint8_t hide = 0;
    foundation::CXmlDocument clientList;
    // The format types the description gives the INFO and PARAMETERS elements of the parameter
    // files written of its drives (PARAMETERS_FILE); 0 when it gives none.
    int32_t paramFileInfoFormatType = 0;
    int32_t paramFileParametersFormatType = 0;
    std::string file;
    std::string descr;
    std::string type;
    std::string hwdescr;
    std::string brand;
    uint16_t users = 0;
    foundation::CIdentity identity;

  private:
    struct Entry {
        VocabularyItem item;
        Entry* next = nullptr;
    };
    struct Table {
        std::deque<Entry> storage;
        std::vector<Entry*> buckets;
        uint32_t mask = 0;
        uint32_t count = 0;
        std::unordered_map<uint16_t, const VocabularyItem*> byAddress;
        std::unordered_map<std::string, const VocabularyItem*> byTitle;
    };

    void ParseItems(foundation::CXmlNode& node, Table& table, VocabularyItem& scratch);
    void ParseItem(const foundation::CXmlNode& element, Table& table, VocabularyItem& scratch);
    const VocabularyItem* FindLocked(std::string_view name);

    mutable std::mutex lock_;
    Table table_;
    uint32_t cursorBucket_ = 0;
    const Entry* cursorItem_ = nullptr;
};

// Header of one hardware variant of a description document (DEVICE element).
void ReadHardwareDescription(const foundation::CXmlNode& device, uint32_t hardwareCode, std::string& minver,
                             std::string& maxver, std::string& recver, std::string& descr, std::string& type,
                             std::string& hwdescr, int32_t& oem, foundation::CIdentity& identity,
                             uint16_t& build, bool& hide);
// Version limits of a ClientList\Client element.
void ReadClientVersions(const foundation::CXmlNode& client, std::string& minver, std::string& maxver,
                        std::string& recver);
// Hardware and debug condition of a "_cond" text: a list hw='n,n,...' must name the hardware code,
// and "debug" holds only in debug mode. hasHardwareList tells whether the condition was settled by a
// hardware list (or was empty).
bool CheckHwCondition(std::string_view condition, uint32_t hardwareCode, bool* hasHardwareList);

}  // namespace engine
