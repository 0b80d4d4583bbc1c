#include "packages/ModulePaths.h"

#include <iterator>

namespace packages {

CModulePaths::CModulePaths(foundation::CBrandList& list)
    : list_(list), default_(list.GetCurrentIndex()), startDefault_(list.GetCurrentIndex()) {
    for (const auto& source : list_.Sources()) saved_.push_back({source->m_strFolder, source->m_modules});
}

std::vector<std::string> CModulePaths::TabTexts() const {
    std::vector<std::string> texts;
    const auto& sources = list_.Sources();
    for (size_t i = 0; i < sources.size(); ++i)
        texts.push_back((static_cast<int>(i) == default_ ? "*" : "") + sources[i]->m_strName);
    return texts;
}

void CModulePaths::ShowSource(int index) {
    if (index >= 0 && static_cast<size_t>(index) < list_.Sources().size()) list_.SetCurrentIndex(index);
}

std::vector<CModulePaths::Row> CModulePaths::Rows() const {
    std::vector<Row> rows;
    const foundation::CBrand* source = Shown();
    if (!source) return rows;
    for (const auto& [path, module] : source->m_modules)
        rows.push_back({module.installedBy, module.version, path, path == source->m_strFolder});
    return rows;
}

int CModulePaths::CurrentRow() const {
    const std::vector<Row> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].current) return static_cast<int>(i);
    }
    return -1;
}

std::string CModulePaths::SelectedPath() const {
    const foundation::CBrand* source = Shown();
    return source ? source->m_strFolder : std::string();
}

bool CModulePaths::Select(int row) {
    foundation::CBrand* source = Shown();
    const std::vector<Row> rows = Rows();
    if (!source || row < 0 || static_cast<size_t>(row) >= rows.size()) return false;
    if (rows[size_t(row)].path == source->m_strFolder) return false;
    source->m_strFolder = rows[size_t(row)].path;
    changed_ = true;
    return true;
}

bool CModulePaths::Add(const std::string& cdiFile) {
    foundation::CBrand* source = Shown();
    if (!source || !foundation::AddPatchModule(*source, cdiFile, "user", 1)) return false;
    changed_ = true;
    return true;
}

bool CModulePaths::Remove(int row) {
    foundation::CBrand* source = Shown();
    if (!source || row < 0 || static_cast<size_t>(row) >= source->m_modules.size()) return false;
    auto it = std::next(source->m_modules.begin(), row);
    const bool wasFolder = it->first == source->m_strFolder;
    source->m_modules.erase(it);
    if (wasFolder)
        source->m_strFolder = source->m_modules.empty() ? std::string() : source->m_modules.begin()->first;
    changed_ = true;
    return true;
}

void CModulePaths::SetDefault() {
    if (ShowsTabs()) default_ = list_.GetCurrentIndex();
}

void CModulePaths::Accept() {
    list_.SetCurrentIndex(default_);
}

void CModulePaths::Cancel() {
    auto& sources = list_.Sources();
    for (size_t i = 0; i < sources.size() && i < saved_.size(); ++i) {
        sources[i]->m_strFolder = saved_[i].folder;
        sources[i]->m_modules = saved_[i].modules;
    }
    default_ = startDefault_;
    list_.SetCurrentIndex(default_);
    changed_ = false;
}

}  // namespace packages
