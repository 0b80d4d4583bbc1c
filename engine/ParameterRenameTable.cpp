#include "engine/ParameterRenameTable.h"

#include <mutex>

namespace engine {

void ParameterRenameTable::Add(const std::string& oldName, const std::string& newName) {
    std::unique_lock lock(mutex_);
    auto [it, inserted] = map_.try_emplace(oldName, newName);
    if (!inserted) {
        it->second += '=';
        it->second += newName;
    }
}

void ParameterRenameTable::Set(const std::string& oldName, const std::string& newNames) {
    std::unique_lock lock(mutex_);
    map_[oldName] = newNames;
}

void ParameterRenameTable::Clear() {
    std::unique_lock lock(mutex_);
    map_.clear();
}

std::optional<std::string> ParameterRenameTable::Find(const std::string& oldName) const {
    std::shared_lock lock(mutex_);
    auto it = map_.find(oldName);
    if (it == map_.end()) return std::nullopt;
    return it->second;
}

size_t ParameterRenameTable::Size() const {
    std::shared_lock lock(mutex_);
    return map_.size();
}

ParameterRenameTable& ParameterRenames() {
    static ParameterRenameTable table;
    return table;
}

}  // namespace engine
