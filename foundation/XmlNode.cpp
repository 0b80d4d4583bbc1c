#include "foundation/XmlNode.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>

#include "foundation/FixedBlockPool.h"

namespace {
FixedBlockPool& Pool() {
    static auto* pool =
        new FixedBlockPool(sizeof(CXmlNode), alignof(CXmlNode));  // outlives every static tree
    return *pool;
}
}  // namespace

void* CXmlNode::operator new(size_t size) {
    return size == sizeof(CXmlNode) ? Pool().Allocate() : ::operator new(size);
}

void CXmlNode::operator delete(void* block, size_t size) {
    if (size == sizeof(CXmlNode)) {
        Pool().Free(block);
    } else {
        ::operator delete(block);
    }
}

namespace {
bool IsInSubtree(const CXmlNode* node, const CXmlNode* top) {
    for (; node != nullptr; node = node->Parent()) {
        if (node == top) return true;
    }
    return false;
}
}  // namespace

CXmlNode::CXmlNode(CXmlNode* parent) : parent_(parent) {}

CXmlNode::~CXmlNode() {
    ClearIterationName();
    // Whoever deletes a node has already let go of searches that point into it.
    DeleteChildren();
    DeleteAttributesFrom(0);
}

void CXmlNode::Clear() {
    DeleteContents(true);
}

void CXmlNode::ClearIterationName() {
    iterName_.reset();
}

CXmlNode* CXmlNode::AddChild(std::string_view name, std::string_view value) {
    auto child = std::make_unique<CXmlNode>(this);
    child->name_.assign(name.data(), name.size());
    child->value_.assign(value.data(), value.size());
    children_.push_back(std::move(child));
    return children_.back().get();
}

void CXmlNode::AddCData(std::string_view text) {
    AddChild(kCData, text);
}

void CXmlNode::DeleteContents(bool forgetIterations) {
    name_.clear();
    value_.clear();
    if (forgetIterations) ForgetSearchesBelow(true);
    DeleteChildren();
    DeleteAttributesFrom(0);
}

// Frees the whole subtree below this node without recursion, however deep it is: a node goes only
// once its own list is empty, so no destructor below reaches further down. The last child is
// freed first, all the way down, which is the reverse of the order a parse allocates in (node,
// attributes, children): the pools then hand the blocks of the next tree out again in ascending
// order, and the tree lies in memory in the order it is walked.
void CXmlNode::DeleteChildren() {
    CXmlNode* node = this;
    for (;;) {
        if (!node->children_.empty()) {
            node = node->children_.back().get();
            continue;
        }
        if (node == this) return;
        CXmlNode* parent = node->parent_;
        parent->children_.pop_back();  // node is gone
        node = parent;
    }
}

void CXmlNode::DeleteAttributesFrom(size_t count) {
    while (attributes_.size() > count) attributes_.pop_back();
}

// A search remembers the node it iterates, which lies in the subtree of the node the search
// started from; so only this node and its ancestors can hold a pointer into this node's subtree.
// thisStays: this node itself lives on (only what lies strictly below it goes).
void CXmlNode::ForgetSearchesBelow(bool thisStays) {
    for (CXmlNode* node = thisStays ? this : parent_; node != nullptr; node = node->parent_) {
        const CXmlNode* found = node->iterNode_;
        if (found == nullptr || (thisStays && found == this)) continue;
        if (IsInSubtree(found, this)) node->iterNode_ = nullptr;
    }
}

void CXmlNode::Copy(const CXmlNode* source) {
    if (source == nullptr) {
        Clear();
        return;
    }
    if (source == this) return;
    if (IsInSubtree(source, this) || IsInSubtree(this, source)) {
        // The copy would change the source while reading it.
        CXmlNode snapshot;
        snapshot.Copy(source);
        Copy(&snapshot);
        return;
    }
    ForgetSearchesBelow(true);
    // Level by level with a list of its own instead of recursion: trees may be deeper than the
    // stack.
    std::vector<std::pair<CXmlNode*, const CXmlNode*>> pending{{this, source}};
    while (!pending.empty()) {
        const auto [to, from] = pending.back();
        pending.pop_back();
        if (to != this && to->iterNode_ != to) to->iterNode_ = nullptr;
        to->name_ = from->name_;
        to->value_ = from->value_;
        size_t i = 0;
        for (; i < from->attributes_.size(); ++i) {
            const CXmlAttribute& attribute = *from->attributes_[i];
            if (i < to->attributes_.size()) {
                to->attributes_[i]->SetName(attribute.Name());
                to->attributes_[i]->SetValue(attribute.Value());
            } else {
                to->attributes_.push_back(
                    std::make_unique<CXmlAttribute>(attribute.Name(), attribute.Value()));
            }
        }
        to->DeleteAttributesFrom(i);
        for (i = 0; i < from->children_.size(); ++i) {
            if (i >= to->children_.size()) to->children_.push_back(std::make_unique<CXmlNode>(to));
            pending.emplace_back(to->children_[i].get(), from->children_[i].get());
        }
        while (to->children_.size() > i) to->children_.pop_back();
    }
}

int CXmlNode::Remove() {
    if (parent_ != nullptr) {
        std::vector<std::unique_ptr<CXmlNode>>& siblings = parent_->children_;
        for (size_t i = 0; i < siblings.size(); ++i) {
            if (siblings[i].get() != this) continue;
            ForgetSearchesBelow(false);
            // Step the running iteration back only when it stands on or past the removed node, so
            // that removing the node after the current one does not visit the current one again.
            int32_t& pos = parent_->iterPos_;
            if (pos >= static_cast<int32_t>(i) && pos > -1) --pos;
            const std::unique_ptr<CXmlNode> self = std::move(siblings[i]);
            siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(i));
            return 0;  // this node ends with self, here
        }
    }
    Clear();
    return 0;
}

void CXmlNode::SetAttribute(std::string_view name, std::string_view value) {
    if (CXmlAttribute* attribute = FindAttribute(name)) {
        attribute->SetValue(value);
        return;
    }
    attributes_.push_back(std::make_unique<CXmlAttribute>(name, value));
}

void CXmlNode::SetAttributeInt(std::string_view name, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
    SetAttribute(name, text);
}

void CXmlNode::RemoveAttribute(std::string_view name) {
    for (size_t i = 0; i < attributes_.size(); ++i) {
        if (attributes_[i]->Name() == name) {
            attributes_.erase(attributes_.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

CXmlAttribute* CXmlNode::FindAttribute(std::string_view name) const {
    for (const auto& attribute : attributes_) {
        if (attribute->Name() == name) return attribute.get();
    }
    return nullptr;
}

std::string CXmlNode::GetAttribute(std::string_view name, std::string_view defaultText) const {
    if (const CXmlAttribute* attribute = FindAttribute(name)) return attribute->Value();
    return std::string(defaultText);
}

int32_t CXmlNode::GetAttributeInt(std::string_view name, int32_t defaultValue) const {
    const CXmlAttribute* attribute = FindAttribute(name);
    return attribute ? attribute->GetIntValue() : defaultValue;
}

double CXmlNode::GetAttributeDouble(std::string_view name, double defaultValue) const {
    const CXmlAttribute* attribute = FindAttribute(name);
    if (!attribute) return defaultValue;
    // Read like "%lf" in the C locale whatever the process locale is.
    const std::string& text = attribute->Value();
    const char* p = text.c_str();
    const char* end = p + text.size();
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
        if (p < end && (*p == '+' || *p == '-')) return 0.0;
    }
    double value = 0.0;
    if (std::from_chars(p, end, value).ec != std::errc()) return 0.0;
    return negative ? -value : value;
}

bool CXmlNode::GetAttributeBool(std::string_view name, bool defaultValue) const {
    const CXmlAttribute* attribute = FindAttribute(name);
    return attribute ? attribute->GetBoolValue() : defaultValue;
}

int32_t CXmlNode::GetChildCount(std::string_view name) const {
    if (name.empty()) return static_cast<int32_t>(children_.size());
    int32_t count = 0;
    for (const auto& child : children_) {
        if (child->name_ == name) ++count;
    }
    return count;
}

int CXmlNode::GetCData(std::string& out) const {
    for (const auto& child : children_) {
        if (child->name_ == kCData) {
            out = child->value_;
            return 1;
        }
    }
    return 0;
}

CXmlNode* CXmlNode::FindNode(const char* path) const {
    if (path == nullptr) return nullptr;
    const CXmlNode* node = this;
    for (;;) {
        const char* slash = std::strchr(path, '\\');
        size_t length = slash ? static_cast<size_t>(slash - path) : std::strlen(path);
        if (length == 0 && slash == nullptr) return nullptr;
        std::string_view component(path, length);
        CXmlNode* found = nullptr;
        for (const auto& child : node->children_) {
            if (child->name_ == component) {
                found = child.get();
                break;
            }
        }
        if (found == nullptr) return nullptr;
        if (slash == nullptr) return found;
        node = found;
        path = slash + 1;
    }
}

CXmlNode* CXmlNode::SelectPath(const char* path) {
    if (path == nullptr) {
        if (children_.empty()) return nullptr;
        iterPos_ = 0;
        ClearIterationName();
        return this;
    }
    CXmlNode* node = this;
    for (;;) {
        const char* slash = std::strchr(path, '\\');
        size_t length = slash ? static_cast<size_t>(slash - path) : std::strlen(path);
        std::string_view component(path, length);
        int32_t index = -1;
        for (size_t i = 0; i < node->children_.size(); ++i) {
            if (node->children_[i]->name_ == component) {
                index = static_cast<int32_t>(i);
                break;
            }
        }
        if (index < 0) return nullptr;
        node->iterPos_ = index;
        if (slash == nullptr) {
            node->iterName_ = std::make_unique<std::string>(component);
            return node;
        }
        node = node->children_[static_cast<size_t>(index)].get();
        path = slash + 1;
    }
}

CXmlNode* CXmlNode::NextChild() {
    const int32_t count = static_cast<int32_t>(children_.size());
    ++iterPos_;
    if (iterPos_ >= count) {
        iterPos_ = count;
        ClearIterationName();
        return nullptr;
    }
    if (!iterName_) return children_[static_cast<size_t>(iterPos_)].get();
    for (; iterPos_ < count; ++iterPos_) {
        CXmlNode* child = children_[static_cast<size_t>(iterPos_)].get();
        if (child->name_ == *iterName_) return child;
    }
    ClearIterationName();
    return nullptr;
}

CXmlNode* CXmlNode::FindFirstChild(const char* path) {
    const char* start = nullptr;
    if (path != nullptr) {
        while (*path == ' ' || (*path >= '\t' && *path <= '\r')) ++path;
        if (*path != '\0') start = path;
    }
    iterNode_ = SelectPath(start);
    if (iterNode_ == nullptr) return nullptr;
    int32_t pos = iterNode_->iterPos_;
    if (pos < 0 || pos >= static_cast<int32_t>(iterNode_->children_.size())) return nullptr;
    return iterNode_->children_[static_cast<size_t>(pos)].get();
}

CXmlNode* CXmlNode::FindNextChild() {
    if (iterNode_ == nullptr) return nullptr;
    return iterNode_->NextChild();
}
