#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/ConfigFileIndex.h"
#include "foundation/CompatChecker.h"
#include "foundation/Identity.h"

namespace engine {

// The chosen description file yields no items (the vocabulary is dropped from the list).
constexpr int kVocabularyHasNoItems = -14;
// No description file was found, or the user declined the one offered.
constexpr int kVocabularyNotChosen = -305;

// Candidate order among older versions of the wanted one: grouped by number text compared as
// byte strings, greatest first (so 1.9.0 comes before 1.10.0), newest first inside a group.
// Returns the list indices in that order.
std::vector<int> OrderVocabularyCandidates(const CConfigFileIndex& index, const std::vector<int>& candidates);
// True when version a is newer than version b in the order of the vocabulary choice.
bool IsVocabularyVersionNewer(const foundation::CVersion& a, const foundation::CVersion& b);

// Chooses the vocabulary of a connected node from its identity and binds the node to it: the node's
// current vocabulary when it still matches exactly, else an exact match in the list (rebuilding the
// index when needed, copying the file from an extra folder, asking the cloud), else the nearest
// older version (confirmed by the user when confirmSubstitution is set), else the generic file
// offered to expert users. Returns the list index, kVocabularyHasNoItems or kVocabularyNotChosen.
// nodeVocabularyIndex is the node's binding (-1 none); it changes only on success. The engine's
// CMain::SelectVocabulary delegates here with its node's fields.
int SelectVocabulary(CConfigFileIndex& index, foundation::CCompatChecker& checker, uint32_t nodeHardwareCode,
                     uint32_t nodeSoftwareCode, int32_t& nodeVocabularyIndex, bool confirmSubstitution);

}  // namespace engine
