#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/XmlAttribute.h"

namespace foundation {

// A node of the XML tree. An element keeps its text as its value; comments, processing instructions,
// CDATA sections and other declarations are nodes with the reserved names below. A node owns its
// children and attributes. Names compare exactly (case-sensitive, byte by byte). Paths are
// backslash-separated child names relative to this node ("DRIVE_SETUP\\PolarityPage").
class CXmlNode {
  public:
    static constexpr const char* kProcessingInstruction = "?";
    static constexpr const char* kComment = "!--";
    static constexpr const char* kCData = "![CDATA[";
    static constexpr const char* kDeclaration = "!!!";

    explicit CXmlNode(CXmlNode* parent = nullptr);
    virtual ~CXmlNode();
    CXmlNode(const CXmlNode&) = delete;
    CXmlNode& operator=(const CXmlNode&) = delete;

    // Nodes come from a pool of their own: trees hold many of them.
    static void* operator new(size_t size);
    static void operator delete(void* block, size_t size);

    // --- fields ---
    const std::string& Name() const { return name_; }
    const std::string& Value() const { return value_; }
    void SetName(std::string_view name) { name_.assign(name.data(), name.size()); }
    void SetValue(std::string_view value) { value_.assign(value.data(), value.size()); }
    std::string& MutableValue() { return value_; }
    CXmlNode* Parent() const { return parent_; }
    const std::vector<CXmlNode*>& Children() const { return children_; }
    const std::vector<CXmlAttribute*>& Attributes() const { return attributes_; }

    // --- tree building ---
    CXmlNode* AddChild(std::string_view name, std::string_view value = {});
    void AddCData(std::string_view text);
    // Empties name, value, attributes and children; the iteration state stays.
    void Clear();
    // Deep copy of name, value, attributes and children (not the iteration state). Null clears.
    void Copy(const CXmlNode* source);
    // Deletes this node from its parent (the pointer is invalid afterwards); a node without parent
    // is cleared instead and stays alive. Removing the node a FindFirstChild/FindNextChild loop
    // stands on lets the loop go on with the node after it. Gives 0.
    int Remove();

    // --- attributes (the first of a name counts) ---
    void SetAttribute(std::string_view name, std::string_view value);
    void SetAttributeInt(std::string_view name, int32_t value);
    void RemoveAttribute(std::string_view name);
    CXmlAttribute* FindAttribute(std::string_view name) const;
    std::string GetAttribute(std::string_view name, std::string_view defaultText = {}) const;
    int32_t GetAttributeInt(std::string_view name, int32_t defaultValue) const;
    double GetAttributeDouble(std::string_view name, double defaultValue) const;
    bool GetAttributeBool(std::string_view name, bool defaultValue) const;

    // --- children ---
    // Number of children of that name; all children for an empty name.
    int32_t GetChildCount(std::string_view name = {}) const;
    // Value of the first CDATA child into out: 1, or 0 (out untouched) when there is none.
    int GetCData(std::string& out) const;
    // Node reached by the path; null for a null or empty path, a path ending in a backslash, or a
    // missing component (only the first child of each name is searched).
    CXmlNode* FindNode(const char* path) const;
    CXmlNode* FindNode(const std::string& path) const { return FindNode(path.c_str()); }

    // --- iteration (changes the tree's iteration state: one loop per parent at a time) ---
    CXmlNode* SelectPath(const char* path);
    CXmlNode* NextChild();
    // First node matching the path (leading white space ignored; empty = every child of this
    // node); FindNextChild then gives the following siblings of the same name.
    CXmlNode* FindFirstChild(const char* path);
    CXmlNode* FindFirstChild(const std::string& path) { return FindFirstChild(path.c_str()); }
    CXmlNode* FindNextChild();

  private:
    friend class CXmlDocument;
    void ClearIterationName();
    void DeleteContents(bool forgetIterations);
    static void ForgetIterationsInto(const CXmlNode* gone);

    int32_t iterPos_ = 0;
    std::unique_ptr<std::string> iterName_;  // null: every child
    CXmlNode* iterNode_ = nullptr;
    CXmlNode* parent_;
    std::vector<CXmlNode*> children_;
    std::vector<CXmlAttribute*> attributes_;
    std::string name_;
    std::string value_;
};

}  // namespace foundation
