#include "foundation/Authorizations.h"

#include <cstdlib>

#include "foundation/ProgramFolders.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "platform/StringHelpers.h"

namespace foundation {

namespace {

using platform::Lower;

// Blanks of the authorization file; the others belong to the text.
std::string Trim(std::string_view text) {
    return platform::Trim(text, " \t\r\n");
}

// Splits at commas; each token trimmed and lower-cased.
std::vector<std::string> Tokens(const std::string& list) {
    std::vector<std::string> tokens;
    size_t start = 0;
    while (true) {
        size_t comma = list.find(',', start);
        tokens.push_back(
            Lower(Trim(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start))));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return tokens;
}

// Stored access code: decimal or "0x" hexadecimal, 32 bits.
uint32_t ReadStoredCode(const std::string& text) {
    std::string value = Trim(text);
    if (value.empty()) return 0;
    int base = 10;
    const char* digits = value.c_str();
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        base = 16;
        digits += 2;
    }
    char* end = nullptr;
    unsigned long long number = std::strtoull(digits, &end, base);
    if (end == digits || *end != '\0' || number > 0xFFFFFFFFull) return 0;
    return static_cast<uint32_t>(number);
}

template <class User>
void InsertByLevel(std::vector<User>& list, User user) {
    auto it = list.begin();
    while (it != list.end() && it->level <= user.level) ++it;
    list.insert(it, std::move(user));
}

const CXmlNode* FindAuthorizations(const CXmlNode& root) {
    for (const CXmlNode* child : root.Children()) {
        if (child->Name() == "Authorizations") return child;
    }
    return root.Name() == "Authorizations" ? &root : nullptr;
}

const char kDefaultList[] =
    "<Authorizations>"
    "<User title=\"User\" name=\"U\" level=\"0\" code=\"0\"/>"
    "<User title=\"Integrator\" name=\"I\" level=\"100\" code=\"0x3c5d7e91\"/>"
    "<User title=\"Factory\" name=\"F\" level=\"200\" code=\"0x8a4f2b06\"/>"
    "</Authorizations>";

}  // namespace

std::filesystem::path CAuthorizations::GetFilePath() {
    return GetCommonDataFolder() / "auth.xml";
}

const char* CAuthorizations::GetDefaultListXml() {
    return kDefaultList;
}

void CAuthorizations::Load() {
    m_users.clear();
    m_tags.clear();
    m_changed = true;

    CXmlDocument document;
    const CXmlNode* list = nullptr;
    if (document.Load(GetFilePath()) == S_OK) list = FindAuthorizations(document.Root());
    if (list == nullptr) {
        m_changed = false;
        return;
    }
    for (const CXmlNode* child : list->Children()) {
        if (child->Name() != "User") continue;
        InsertByLevel(m_users,
                      CUserDev{Lower(child->GetAttribute("title", "")), child->GetAttributeInt("level", 0)});
    }
    m_changed = false;
}

bool CAuthorizations::Save() {
    if (!m_changed) return true;
    CXmlDocument document;
    CXmlNode& root = document.Root();
    root.SetName("Auth");
    CXmlNode* list = root.AddChild("Authorizations");
    for (const CUserDev& user : m_users) {
        CXmlNode* element = list->AddChild("User");
        element->SetAttribute("title", user.title);
        element->SetAttributeInt("level", user.level);
    }
    if (document.Save(GetFilePath()) != S_OK) return false;
    m_changed = false;
    return true;
}

void CAuthorizations::LoadFromNode(const CXmlNode* authorizations) {
    m_fullUsers.clear();
    m_current = -1;
    if (authorizations != nullptr) {
        for (const CXmlNode* child : authorizations->Children()) {
            if (child->Name() != "User") continue;
            CUserFullDev user;
            user.title = Lower(child->GetAttribute("title", ""));
            user.name = child->GetAttribute("name", "");
            user.level = child->GetAttributeInt("level", 0);
            uint32_t stored = ReadStoredCode(child->GetAttribute("code", ""));
            user.code = stored != 0 ? stored ^ kCodeScramble : 0;
            AddUser(user.title, user.level);
            InsertByLevel(m_fullUsers, std::move(user));
        }
    }
    Save();
    SelectUser();
}

void CAuthorizations::LoadDefaultList() {
    CXmlDocument document;
    document.LoadXml(kDefaultList);
    LoadFromNode(&document.Root());
}

void CAuthorizations::AddUser(const std::string& title, int32_t level) {
    std::string lower = Lower(title);
    if (FindUserByTitle(lower) != nullptr) return;
    InsertByLevel(m_users, CUserDev{lower, level});
    m_changed = true;
}

bool CAuthorizations::SetUser(const std::string& name) {
    std::string lower = Lower(name);
    if (lower == m_requestedUser) return false;
    m_requestedUser = lower;
    SelectUser();
    m_changed = true;
    return true;
}

void CAuthorizations::SetRequestedUser(const std::string& name) {
    m_requestedUser = Lower(name);
}

void CAuthorizations::SelectUser() {
    m_lastError.clear();
    m_current = -1;
    if (m_requestedUser.empty()) return;

    for (size_t i = 0; i < m_fullUsers.size(); ++i) {
        if (m_fullUsers[i].title == m_requestedUser) {
            m_current = static_cast<int>(i);
            break;
        }
    }
    if (m_current < 0) {
        int32_t level = 0;
        if (const CUserDev* user = FindUserByTitle(m_requestedUser)) {
            level = user->level;
        } else {
            m_lastError = "Authorizations: user " + m_requestedUser + " not found ";
        }
        if (!m_fullUsers.empty()) {
            // The highest user at or below the level; the lowest when all are above it.
            size_t i = 0;
            while (i < m_fullUsers.size() && m_fullUsers[i].level <= level) ++i;
            m_current = i == 0 ? 0 : static_cast<int>(i - 1);
        }
    }
    if (m_current >= 0) m_requestedUser = m_fullUsers[static_cast<size_t>(m_current)].title;
}

bool CAuthorizations::CheckCondition(const std::string& condition, int32_t* requiredLevel) const {
    int32_t required = 0;
    if (requiredLevel) *requiredLevel = 0;
    std::string text = Trim(condition);
    if (text.empty()) return true;

    size_t semicolon = text.find(';');
    std::string userPart = Trim(text.substr(0, semicolon));
    if (!userPart.empty()) {
        if (const CUserFullDev* user = FindFullUserByName(userPart)) {
            required = user->level;
            if (requiredLevel) *requiredLevel = required;
            const CUserFullDev* current = GetCurrentUser();
            if (current != nullptr && current->level < required) return false;
            if (current == nullptr && required != 0) return false;
        }
    }
    if (semicolon == std::string::npos) return true;

    std::string tagList = Trim(text.substr(semicolon + 1));
    if (tagList.empty()) return true;
    for (const std::string& token : Tokens(tagList)) {
        if (m_tags.count(token) != 0) return true;
    }
    return false;
}

void CAuthorizations::SetTags(const std::string& list) {
    if (list.empty()) return;
    for (const std::string& token : Tokens(list)) {
        if (token.empty()) continue;
        if (m_tags.insert(token).second) m_changed = true;
    }
}

void CAuthorizations::ClearTags() {
    if (!m_tags.empty()) m_changed = true;
    m_tags.clear();
}

std::string CAuthorizations::GetTags() const {
    std::string text;
    for (const std::string& tag : m_tags) {
        if (!text.empty()) text += ",";
        text += tag;
    }
    return text;
}

const CUserFullDev* CAuthorizations::GetCurrentUser() const {
    if (m_current < 0 || static_cast<size_t>(m_current) >= m_fullUsers.size()) return nullptr;
    return &m_fullUsers[static_cast<size_t>(m_current)];
}

uint32_t CAuthorizations::GetCurrentCode() const {
    const CUserFullDev* user = GetCurrentUser();
    return user ? user->code : 0;
}

const CUserDev* CAuthorizations::FindUserByTitle(const std::string& title) const {
    // A repeated title: the later entry wins, as a map filled in list order would keep it.
    const CUserDev* found = nullptr;
    for (const CUserDev& user : m_users) {
        if (user.title == title) found = &user;
    }
    return found;
}

const CUserFullDev* CAuthorizations::FindFullUserByName(const std::string& name) const {
    const CUserFullDev* found = nullptr;
    for (const CUserFullDev& user : m_fullUsers) {
        if (user.name == name) found = &user;
    }
    return found;
}

CAuthorizations& GetAuthorizations() {
    static CAuthorizations authorizations;
    return authorizations;
}

}  // namespace foundation
