#pragma once
#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/XmlAttribute.h"

// A read-only view of a list of owned objects that hands them out as plain pointers: callers walk
// and index the children and attributes of a node without taking part in their ownership.
template <class T>
class CXmlListView {
  public:
    using Owned = std::vector<std::unique_ptr<T>>;

    class iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = T*;

        iterator() = default;
        explicit iterator(typename Owned::const_iterator at) : at_(at) {}
        T* operator*() const { return at_->get(); }
        T* operator[](difference_type n) const { return at_[n].get(); }
        iterator& operator++() {
            ++at_;
            return *this;
        }
        iterator operator++(int) { return iterator(at_++); }
        iterator& operator--() {
            --at_;
            return *this;
        }
        iterator operator--(int) { return iterator(at_--); }
        iterator& operator+=(difference_type n) {
            at_ += n;
            return *this;
        }
        iterator& operator-=(difference_type n) {
            at_ -= n;
            return *this;
        }
        friend iterator operator+(iterator i, difference_type n) { return i += n; }
        friend iterator operator+(difference_type n, iterator i) { return i += n; }
        friend iterator operator-(iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const iterator& a, const iterator& b) { return a.at_ - b.at_; }
        friend bool operator==(const iterator& a, const iterator& b) { return a.at_ == b.at_; }
        friend auto operator<=>(const iterator& a, const iterator& b) { return a.at_ <=> b.at_; }

      private:
        typename Owned::const_iterator at_{};
    };

    explicit CXmlListView(const Owned& list) : list_(&list) {}
    size_t size() const { return list_->size(); }
    bool empty() const { return list_->empty(); }
    T* operator[](size_t i) const { return (*list_)[i].get(); }
    T* front() const { return list_->front().get(); }
    T* back() const { return list_->back().get(); }
    iterator begin() const { return iterator(list_->begin()); }
    iterator end() const { return iterator(list_->end()); }

  private:
    const Owned* list_;
};

// A node of the XML tree. An element keeps its text as its value; comments, processing instructions,
// CDATA sections and other declarations are nodes with the reserved names below. A node owns its
// children and attributes (a node in a tree is owned by its parent's list; the two nodes of a
// document by the document). Names compare exactly (case-sensitive, byte by byte). Paths are
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
    CXmlListView<CXmlNode> Children() const { return CXmlListView<CXmlNode>(children_); }
    CXmlListView<CXmlAttribute> Attributes() const { return CXmlListView<CXmlAttribute>(attributes_); }

    // --- tree building ---
    CXmlNode* AddChild(std::string_view name, std::string_view value = {});
    void AddCData(std::string_view text);
    // Empties name, value, attributes and children; the iteration state stays.
    void Clear();
    // Deep copy of name, value, attributes and children (not the iteration state). Null clears.
    // Searches that stood below this node end. A source inside this node's subtree, or one that
    // holds this node, is copied as it was before the copy began.
    void Copy(const CXmlNode* source);
    // Takes this node out of its parent's list, which owned it: the node and its subtree are gone
    // and the pointer is invalid when the call returns. A node without parent (or not in its
    // parent's list) is cleared instead and stays alive. Removing the node a
    // FindFirstChild/FindNextChild loop stands on lets the loop go on with the node after it.
    // Gives 0.
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
    void DeleteChildren();
    void DeleteAttributesFrom(size_t count);
    void ForgetSearchesBelow(bool thisStays);

    int32_t iterPos_ = 0;
    std::unique_ptr<std::string> iterName_;  // null: every child
    CXmlNode* iterNode_ = nullptr;           // not owned: a node in this node's subtree
    CXmlNode* parent_;                       // not owned: the node whose list owns this one
    std::vector<std::unique_ptr<CXmlNode>> children_;
    std::vector<std::unique_ptr<CXmlAttribute>> attributes_;
    std::string name_;
    std::string value_;
};
