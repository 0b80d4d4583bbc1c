#pragma once

// The program's users and access levels ("user", "integrator", "factory" in the built-in list),
// the current user, the active tags, and the access conditions of description files and pages
// ("I", "F;service", ";beta,test"). The short user list is kept in "auth.xml" in the common data
// folder. Used from the GUI thread only.

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace foundation {

class CXmlNode;

// Short user record, as stored in "auth.xml".
struct CUserDev {
    std::string title;  // lower case
    int32_t level = 0;
};

// Full user record of a description's "Authorizations" element.
struct CUserFullDev {
    std::string title;  // lower case
    int32_t level = 0;
    std::string name;   // as read ("U", "I", "F")
    uint32_t code = 0;  // access code written to the drive's "enabling_key"; 0 none
};

class CAuthorizations {
  public:
    // Stored codes are kept scrambled with this value.
    static constexpr uint32_t kCodeScramble = 0x6B2E91D4u;

    CAuthorizations() = default;
    virtual ~CAuthorizations() = default;

    // Reads the short list from "auth.xml" (any root, its "Authorizations" child). A missing or
    // unreadable file leaves the list empty. Also empties the active tags.
    void Load();
    // Writes "auth.xml" when something changed (written whole or not at all). False when the
    // file could not be written; the list then stays marked changed.
    bool Save();
    // Replaces the full list by the users of an "Authorizations" element, adds them to the short
    // list, saves and selects the current user again.
    void LoadFromNode(const CXmlNode* authorizations);
    // LoadFromNode with the built-in list (User/U/0, Integrator/I/100, Factory/F/200).
    void LoadDefaultList();

    // Adds {title, level} to the short list unless the title is there.
    void AddUser(const std::string& title, int32_t level);
    // False when name equals the requested user ignoring case; else requests it (lower case),
    // selects and marks the list changed.
    bool SetUser(const std::string& name);
    // Chooses the current user for the requested user: the full user of that title, else the
    // highest full user whose level is at or below the requested user's level (the lowest user
    // when every level is above it).
    void SelectUser();
    // Condition "<user name>[;tag,tag...]": the current user's level reaches the named user's level
    // (its level is returned in requiredLevel) and, with a tag list, one of the tags is active.
    bool CheckCondition(const std::string& condition, int32_t* requiredLevel) const;
    // Adds the comma-separated tags (trimmed, lower case).
    void SetTags(const std::string& list);
    void ClearTags();
    // The active tags joined by ",".
    std::string GetTags() const;
    bool HasTag(const std::string& tag) const { return m_tags.count(tag) != 0; }

    // The current user, null when none.
    const CUserFullDev* GetCurrentUser() const;
    // Access code of the current user, 0 when none.
    uint32_t GetCurrentCode() const;
    const std::string& GetRequestedUser() const { return m_requestedUser; }
    // Sets the requested user without selecting (the caller selects).
    void SetRequestedUser(const std::string& name);
    const std::string& GetLastError() const { return m_lastError; }
    bool IsChanged() const { return m_changed; }
    void SetChanged() { m_changed = true; }
    const std::vector<CUserDev>& GetUsers() const { return m_users; }
    const std::vector<CUserFullDev>& GetFullUsers() const { return m_fullUsers; }

    static std::filesystem::path GetFilePath();
    // The built-in full user list as an "Authorizations" element text.
    static const char* GetDefaultListXml();

  private:
    const CUserDev* FindUserByTitle(const std::string& title) const;
    const CUserFullDev* FindFullUserByName(const std::string& name) const;

    std::string m_lastError;
    std::string m_requestedUser;
    bool m_changed = false;
    std::vector<CUserDev> m_users;          // ascending level, reading order within a level
    std::vector<CUserFullDev> m_fullUsers;  // ascending level, reading order within a level
    int m_current = -1;                     // index into m_fullUsers
    std::set<std::string> m_tags;
};

// The program's user list.
CAuthorizations& GetAuthorizations();

}  // namespace foundation
