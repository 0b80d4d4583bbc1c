#include "engine/VocabularySelector.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "foundation/BrandList.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/SharedUtilities.h"
#include "platform/Prompt.h"

using namespace foundation;

namespace engine {

namespace {

constexpr const char* kNotFoundCaption = "Configuration file not found";

bool MatchesExactly(const CVocabolario& v, uint32_t hardwareCode, const CIdentity& target) {
    if (hardwareCode != 0 && v.hw != hardwareCode) return false;
    return v.identity.code == target.code && v.identity.IsEqual(target);
}

bool SameFiveNumbers(const CVersion& a, const CVersion& b) {
    return a.major == b.major && a.minor == b.minor && a.patch == b.patch && a.preState == b.preState &&
           a.preNumber == b.preNumber;
}

// Step through the list for the node's software and hardware code: an equal version is chosen at
// once (returned), older ones are collected as candidates.
int SearchList(const CConfigFileIndex& index, uint32_t hardwareCode, uint32_t softwareCode,
               const CIdentity& target, std::vector<int>* candidates) {
    candidates->clear();
    for (int i = 0; i < index.Count(); ++i) {
        const CVocabolario* v = index.At(i);
        if (!v || v->sw != softwareCode || (hardwareCode != 0 && v->hw != hardwareCode)) continue;
        if (SameFiveNumbers(v->identity.version, target.version) && v->identity.version == target.version)
            return i;
        if (IsVocabularyVersionNewer(target.version, v->identity.version)) candidates->push_back(i);
    }
    return -1;
}

std::string ExpectedFileName(const CIdentity& target) {
    std::string version = target.version.GetText();
    std::replace(version.begin(), version.end(), '.', '_');
    return std::to_string(target.code) + "_" + version + ".xml";
}

// Copies the wanted file from the first extra folder that has it into the writable "Xml" folder of
// the first source; true when a file was copied.
bool CopyFromExtraFolders(const CIdentity& target) {
    const std::string name = ExpectedFileName(target);
    CBrandList& brands = GetBrandList();
    for (const std::string& folder : brands.GetExtraFolders()) {
        const std::filesystem::path source = std::filesystem::path(folder) / name;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(source, ec)) continue;
        if (brands.Sources().empty()) return false;
        const std::string xml = brands.GetBrandFolder(brands.Sources().front()->m_strName.c_str(), 1);
        if (xml.empty() || !CreateDirectoryTree(xml.c_str())) return false;
        // Copy beside the target and rename, so that a failed copy leaves no half file behind.
        const std::filesystem::path destination = std::filesystem::path(xml) / name;
        const std::filesystem::path temporary = std::filesystem::path(xml) / ("~" + name + ".tmp");
        if (!std::filesystem::copy_file(source, temporary, std::filesystem::copy_options::overwrite_existing,
                                        ec)) {
            std::filesystem::remove(temporary, ec);
            return false;
        }
        std::filesystem::rename(temporary, destination, ec);
        if (ec) {
            std::filesystem::remove(temporary, ec);
            return false;
        }
        return true;
    }
    return false;
}

}  // namespace

bool IsVocabularyVersionNewer(const CVersion& a, const CVersion& b) {
    if (a.major != b.major) return a.major > b.major;
    if (a.minor != b.minor) return a.minor > b.minor;
    if (a.patch != b.patch) return a.patch > b.patch;
    if (a.preState != b.preState) {
        if (a.preState == 0) return true;
        if (b.preState == 0) return false;
        if (a.preState < 4 && b.preState < 4) return a.preState > b.preState;
        return a.preState < b.preState;
    }
    return a.preNumber > b.preNumber;
}

std::vector<int> OrderVocabularyCandidates(const CConfigFileIndex& index,
                                           const std::vector<int>& candidates) {
    std::map<std::string, std::vector<int>, std::greater<>> groups;
    for (int i : candidates) groups[index.At(i)->identity.version.GetNumberText()].push_back(i);
    std::vector<int> ordered;
    for (auto& [text, members] : groups) {
        std::stable_sort(members.begin(), members.end(), [&index](int x, int y) {
            return IsVocabularyVersionNewer(index.At(x)->identity.version, index.At(y)->identity.version);
        });
        ordered.insert(ordered.end(), members.begin(), members.end());
    }
    return ordered;
}

int SelectVocabulary(CConfigFileIndex& index, CCompatChecker& checker, uint32_t nodeHardwareCode,
                     uint32_t nodeSoftwareCode, int32_t& nodeVocabularyIndex, bool confirmSubstitution) {
    CIdentity target;
    if (checker.GetFirmwareIdentity().IsValid())
        target = checker.GetFirmwareIdentity();
    else if (checker.GetBootIdentity().IsValid())
        target = checker.GetBootIdentity();

    if (const CVocabolario* bound = index.At(nodeVocabularyIndex))
        if (MatchesExactly(*bound, nodeHardwareCode, target)) return nodeVocabularyIndex;

    int chosen = -1;
    if (!IsVocabularyIndexBuilt()) {
        for (int i = 0; i < index.Count() && chosen < 0; ++i)
            if (const CVocabolario* v = index.At(i); v && MatchesExactly(*v, nodeHardwareCode, target))
                chosen = i;
        if (chosen < 0) index.BuildVocabularyIndex();
    }

    if (chosen < 0 && !GetBrandList().GetExtraFolders().empty()) {
        chosen = index.FindVocabulary(nodeHardwareCode, nodeSoftwareCode, target);
        if (chosen < 0 && CopyFromExtraFolders(target)) index.BuildVocabularyIndex();
    }

    std::vector<int> candidates;
    if (chosen < 0) chosen = SearchList(index, nodeHardwareCode, nodeSoftwareCode, target, &candidates);

    if (chosen < 0 && GetBrandList().SearchCloud(target)) {
        index.BuildVocabularyIndex();
        chosen = index.FindVocabulary(nodeHardwareCode, nodeSoftwareCode, target);
        // The rebuild replaced every vocabulary: the candidates must come from the new list.
        if (chosen < 0) chosen = SearchList(index, nodeHardwareCode, nodeSoftwareCode, target, &candidates);
    }

    if (chosen < 0 && !candidates.empty()) {
        const std::vector<int> ordered = OrderVocabularyCandidates(index, candidates);
        if (!confirmSubstitution) {
            chosen = ordered.front();
        } else {
            std::vector<std::string> args{target.GetCodeVersionText()};
            for (int i : ordered) args.push_back(index.At(i)->identity.GetCodeVersionText());
            int selection = -1;
            const int answer = platform::Prompts().Custom("XmlNotUpdated", args, &selection);
            if (answer != platform::IDOK || selection < 0 || selection >= int(ordered.size()))
                return kVocabularyNotChosen;
            chosen = ordered[size_t(selection)];
        }
    }

    if (chosen < 0) {
        std::string text = std::string(
                               "The configuration file required to communicate with this device was not "
                               "found.\r\n\r\nPlease install the last version of '") +
                           kProgramName + "'\r\nor contact " + kBrandName +
                           " in order to receive the correct file '" + target.GetCodeVersionText() + "'.";
        if (g_DebugMode.load())
            text += "\r\n\r\nDrive hardware:\t" + checker.GetHardwareIdentity().GetCodeVersionText() +
                    "\r\nDrive software:\t" + target.GetCodeVersionText();
        int generic = -1;
        for (int i = 0; i < index.Count() && generic < 0; ++i)
            if (const CVocabolario* v = index.At(i); v && v->hw == 0 && v->sw == 0) generic = i;
        if (generic >= 0) {
            const std::string question = text + "\r\n\r\nOnly for expert user: would you like to use '" +
                                         index.At(generic)->descr + "' file?";
            if (platform::Prompts().MessageBox(question, kNotFoundCaption,
                                               platform::MB_YESNO | platform::MB_ICONERROR) ==
                platform::IDYES)
                chosen = generic;
        }
        if (chosen < 0) {
            platform::Prompts().MessageBox(text, kNotFoundCaption, platform::MB_OK | platform::MB_ICONERROR);
            return kVocabularyNotChosen;
        }
    }

    if (nodeVocabularyIndex != chosen) {
        CVocabolario* v = index.At(chosen);
        if (v->ItemCount() == 0 && v->Load() == 0) {
            index.Drop(chosen);
            return kVocabularyHasNoItems;
        }
        if (CVocabolario* previous = index.At(nodeVocabularyIndex); previous && previous->users > 0)
            --previous->users;
        nodeVocabularyIndex = chosen;
        ++v->users;
    }

    for (CIdentity* identity : {&checker.GetBootIdentity(), &checker.GetFirmwareIdentity()}) {
        if (!identity->IsValid()) continue;
        identity->name = index.GetVocabularyName(*identity);
        checker.SetComponentName(*identity);
    }
    return chosen;
}

}  // namespace engine
