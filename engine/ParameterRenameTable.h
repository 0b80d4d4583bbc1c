#pragma once
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>

namespace engine {

// The program-wide map from an old drive-variable name to its new names joined by "=". The drive
// model fills it from its rename list; vocabulary lookups read it when a name is not found.
// Safe for concurrent readers and one writer.
class ParameterRenameTable {
  public:
    // Adds one line old -> new: an old name met again gets "=" and the new name appended.
    void Add(const std::string& oldName, const std::string& newName);
    // Replaces the entry text of an old name.
    void Set(const std::string& oldName, const std::string& newNames);
    void Clear();
    // Exact-name lookup; none when the name has no entry.
    std::optional<std::string> Find(const std::string& oldName) const;
    size_t Size() const;

  private:
    mutable std::shared_mutex mutex_;
    std::unordered_map<std::string, std::string> map_;
};

// The one table of the program.
ParameterRenameTable& ParameterRenames();

}  // namespace engine
