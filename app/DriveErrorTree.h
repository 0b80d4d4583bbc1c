#pragma once
// What the drive errors window shows and does, without the window: the tree of active errors and
// warnings built from the drive description's error list, and the fault reset.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/XmlDocument.h"

namespace app {

struct ErrorDefinition;

constexpr const char* kNoErrorText = "No error";
constexpr const char* kMissingErrorListText = "Internal error! Missing error description!";
// The drive's EtherCAT communication error word: bit 0x200 asks for an ESI memory update.
constexpr const char* kEsiErrorVariable = "EtcErrorRetentCommMsg";
constexpr uint32_t kEsiUpdateBit = 0x200;
// Images of the window's image list: a level is the index of its image.
constexpr int kErrorImageCount = 7;
constexpr int kMissingListImage = 0;
constexpr int kNoErrorImage = 6;

// The drive description's error list (its "ERRORLIST"), or the built-in one parsed once and kept
// here; the main dialog takes its error definitions from it and the errors window its tree.
class CErrorList {
  public:
    void Load(const foundation::CXmlNode* driveData, const std::string& builtInList);
    // Null when neither the description nor the built-in list gives one.
    const foundation::CXmlNode* Node() const { return node_; }
    std::vector<ErrorDefinition> Definitions() const;

  private:
    std::unique_ptr<foundation::CXmlDocument> builtIn_;
    const foundation::CXmlNode* node_ = nullptr;
};

// Where the tree's items go (the window's tree control, or a test's record). Handles are never 0;
// 0 stands for the root.
class CErrorTreeView {
  public:
    virtual ~CErrorTreeView() = default;
    virtual intptr_t AddItem(intptr_t parent, const std::string& title, int image) = 0;
    // Removes the item with everything below it.
    virtual void RemoveItem(intptr_t item) = 0;
    virtual void SetItemImage(intptr_t item, int image) = 0;
    virtual void Expand(intptr_t item) = 0;
    virtual void RemoveAll() = 0;
};

// A named read of the drive: 0 and the value, or the read's error code.
using ErrorCellReader = std::function<int(const std::string& name, uint32_t* value)>;

class CErrorTree {
  public:
    // list may be null (the description has no error list); neither is owned.
    CErrorTree(const foundation::CXmlNode* list, CErrorTreeView& view) : list_(list), view_(view) {}

    // Reads each variable of the list once, adds the items of errors that became active, removes
    // those of errors that are no longer active, and shows "No error" when none is. Returns the
    // highest level among the active errors (0 when none is).
    int Refresh(const ErrorCellReader& read);
    // Forgets every item (after a reset the tree is built anew).
    void Clear();

    // The values of the last refresh; a variable that could not be read is absent.
    const std::map<std::string, uint32_t>& Values() const { return values_; }
    bool EsiUpdateWanted() const;
    bool NoErrorShown() const { return noError_ != 0; }
    bool MissingListShown() const { return missing_ != 0; }

  private:
    struct Walk {
        bool active = false;
        int level = 0;
    };
    // Whether the element (or anything below it) is active, and the highest level among what is.
    Walk Evaluate(const foundation::CXmlNode& node, const ErrorCellReader& read);
    Walk WalkChildren(const foundation::CXmlNode& node, intptr_t parent, const ErrorCellReader& read);
    Walk WalkError(const foundation::CXmlNode& error, intptr_t parent, const ErrorCellReader& read);
    bool Read(const std::string& name, const ErrorCellReader& read, uint32_t* value);
    void Remove(const foundation::CXmlNode& node);
    void ForgetBelow(const foundation::CXmlNode& node);

    const foundation::CXmlNode* list_;
    CErrorTreeView& view_;
    // The shown item of each element (the window's handle for it).
    std::map<const foundation::CXmlNode*, intptr_t> items_;
    std::map<const foundation::CXmlNode*, int> images_;
    std::map<std::string, uint32_t> values_;
    std::map<std::string, int> failed_;
    intptr_t noError_ = 0;
    intptr_t missing_ = 0;
};

// ---- reset ----------------------------------------------------------------------------------------
// The drive access the reset needs: a named read, and one write executed as a group of the engine
// (the execution's code, and the write's own result in result).
class CErrorResetAccess {
  public:
    virtual ~CErrorResetAccess() = default;
    virtual int ReadCell(const std::string& name, uint32_t* value) = 0;
    virtual int ExecuteWrite(const std::string& name, uint32_t value, int32_t* result) = 0;
};

struct ErrorResetPlan {
    std::string warningVariable = "DriveWarning";
    std::string alarmVariable = "DriveAlarm";
    bool xulFamily = false;
    std::string statuswordVariable = "statusword";
};

struct ErrorResetResult {
    bool ok = true;
    std::string message;  // what the user is told when not ok
    int32_t code = 0;
};

// Clears the warning and alarm words and, for a drive in fault, gives the fault reset edge (the
// Xul family its own command). Each write is checked and the reset stops at the first failure,
// so that nothing is taken as reset that was not.
ErrorResetResult ResetDriveErrors(CErrorResetAccess& access, const ErrorResetPlan& plan);

}  // namespace app
