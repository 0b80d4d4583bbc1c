#pragma once
// Help topics: "file.chm::/topic.html" names a topic of a help file. Each help file is a folder
// of HTML pages (the file name without ".chm") in the help folder's language sub-folders, and
// a topic opens in the user's browser.

#include <filesystem>
#include <functional>
#include <string>

namespace app {

// The HTML page of a topic: "<help folder>/<language>/<file>/<topic>", the language tried as the
// user's language id, its primary language with the default sub-language, 1033, then none.
// Empty when no folder holds it. A topic without "::/" is the file's "index.html".
std::filesystem::path FindHelpTopicPage(const std::filesystem::path& helpFolder, const std::string& topic,
                                        unsigned languageId);

// The user's language id from the locale ("it_IT.UTF-8" -> 1040); 1033 when unknown.
unsigned UserLanguageId();

// Opens a topic; a missing topic is told in a message box.
void ShowHelpTopic(const std::string& topic);

// What opens a page (the browser by default; tests record instead).
void SetHelpOpener(std::function<bool(const std::string& url)> opener);

}  // namespace app
