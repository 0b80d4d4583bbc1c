#include "foundation/XmlNode.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>

#include "foundation/FixedBlockPool.h"

namespace foundation {

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
    DeleteContents(false);
}

void CXmlNode::Clear() {
    DeleteContents(true);
}

void CXmlNode::ClearIterationName() {
    iterName_.reset();
}

CXmlNode* CXmlNode::AddChild(std::string_view name, std::string_view value) {
    auto* child = new CXmlNode(this);
    child->name_.assign(name.data(), name.size());
    child->value_.assign(value.data(), value.size());
    children_.push_back(child);
    return child;
}

void CXmlNode::AddCData(std::string_view text) {
    AddChild(kCData, text);
}

void CXmlNode::DeleteContents(bool forgetIterations) {
    name_.clear();
    value_.clear();
    // Moved out first so that a child's destructor never sees a half-emptied list.
    std::vector<CXmlNode*> children;
    children.swap(children_);
    std::vector<CXmlAttribute*> attributes;
    attributes.swap(attributes_);
    if (forgetIterations) {
        for (CXmlNode* node = this; node != nullptr; node = node->parent_) {
            if (node->iterNode_ != nullptr && node->iterNode_ != this && IsInSubtree(node->iterNode_, this)) {
                node->iterNode_ = nullptr;
            }
        }
    }
    // Freed in the reverse order of a parse's allocations (node, attributes, children), so that
    // the pools hand the blocks of the next tree out again in ascending order: the tree then lies
    // in memory in the order it is walked.
    CXmlNode* last = nullptr;
    for (CXmlNode* child : children) {
        child->parent_ = last;
        last = child;
    }
    std::vector<CXmlNode*>().swap(children);
    while (last != nullptr) {
        CXmlNode* previous = last->parent_;
        delete last;
        last = previous;
    }
    for (auto attribute = attributes.rbegin(); attribute != attributes.rend(); ++attribute) delete *attribute;
}

void CXmlNode::ForgetIterationsInto(const CXmlNode* gone) {
    // A search remembers the node it iterates; that node lies below the search's start node, so
    // only the ancestors of a deleted subtree can hold a pointer into it.
    for (CXmlNode* node = gone->parent_; node != nullptr; node = node->parent_) {
        if (node->iterNode_ != nullptr && IsInSubtree(node->iterNode_, gone)) node->iterNode_ = nullptr;
    }
}

void CXmlNode::Copy(const CXmlNode* source) {
    if (source == nullptr) {
        Clear();
        return;
    }
    if (source == this) return;
    name_ = source->name_;
    value_ = source->value_;
    size_t i = 0;
    for (; i < source->attributes_.size(); ++i) {
        const CXmlAttribute* from = source->attributes_[i];
        if (i < attributes_.size()) {
            attributes_[i]->SetName(from->Name());
            attributes_[i]->SetValue(from->Value());
        } else {
            attributes_.push_back(new CXmlAttribute(from->Name(), from->Value()));
        }
    }
    for (size_t j = i; j < attributes_.size(); ++j) delete attributes_[j];
    attributes_.resize(i);

    for (i = 0; i < source->children_.size(); ++i) {
        if (i >= children_.size()) children_.push_back(new CXmlNode(this));
        children_[i]->Copy(source->children_[i]);
    }
    for (size_t j = i; j < children_.size(); ++j) {
        ForgetIterationsInto(children_[j]);
        delete children_[j];
    }
    children_.resize(i);
}

int CXmlNode::Remove() {
    if (parent_ == nullptr) {
        Clear();
        return 0;
    }
    std::vector<CXmlNode*>& siblings = parent_->children_;
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i] != this) continue;
        siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(i));
        // Step the running iteration back only when it stands on or past the removed node, so that
        // removing the node after the current one does not visit the current one again.
        int32_t& pos = parent_->iterPos_;
        if (pos >= static_cast<int32_t>(i) && pos > -1) --pos;
        break;
    }
    ForgetIterationsInto(this);
    delete this;
    return 0;
}

void CXmlNode::SetAttribute(std::string_view name, std::string_view value) {
    if (CXmlAttribute* attribute = FindAttribute(name)) {
        attribute->SetValue(value);
        return;
    }
    attributes_.push_back(new CXmlAttribute(name, value));
}

void CXmlNode::SetAttributeInt(std::string_view name, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
    SetAttribute(name, text);
}

void CXmlNode::RemoveAttribute(std::string_view name) {
    for (size_t i = 0; i < attributes_.size(); ++i) {
        if (attributes_[i]->Name() == name) {
            delete attributes_[i];
            attributes_.erase(attributes_.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

CXmlAttribute* CXmlNode::FindAttribute(std::string_view name) const {
    for (CXmlAttribute* attribute : attributes_) {
        if (attribute->Name() == name) return attribute;
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
    for (const CXmlNode* child : children_) {
        if (child->name_ == name) ++count;
    }
    return count;
}

int CXmlNode::GetCData(std::string& out) const {
    for (const CXmlNode* child : children_) {
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
        for (CXmlNode* child : node->children_) {
            if (child->name_ == component) {
                found = child;
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
        node = node->children_[static_cast<size_t>(index)];
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
    if (!iterName_) return children_[static_cast<size_t>(iterPos_)];
    for (; iterPos_ < count; ++iterPos_) {
        CXmlNode* child = children_[static_cast<size_t>(iterPos_)];
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
    return iterNode_->children_[static_cast<size_t>(pos)];
}

CXmlNode* CXmlNode::FindNextChild() {
    if (iterNode_ == nullptr) return nullptr;
    return iterNode_->NextChild();
}

}  // namespace foundation
