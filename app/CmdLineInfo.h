#pragma once
// The program's command line: the keys start-up takes over into the program-wide state.

#include <string>
#include <vector>

namespace app {

class CCmdLineInfo {
  public:
    std::string goOnline;    // "goonline="
    std::string loadConfig;  // "loadconfig="
    std::string tags;        // "tags="
    std::string user;        // "user="
    std::string qzPath;      // "Qz="
    bool hide = false;       // "Hide" (kept, nothing reads it)
    bool debug = false;      // "debug"
    bool resetGui = false;   // "resetgui"
    std::string batch;       // "batch=" (kept, nothing reads it)

    // One token, its leading "/" or "-" already removed when flag is true. Keys compare without
    // regard to case; the first key that matches wins and a later token overrides an earlier one.
    void ParseParam(const char* token, bool flag, bool last);

    // Every token after the program name, "/" and "-" prefixes taken off as flags.
    void ParseCommandLine(int argc, const char* const* argv);

    // Tokens seen, prefixes included, as the raw command line (the main frame looks for "CwP=").
    const std::string& RawLine() const { return raw_; }

  private:
    std::string raw_;
};

}  // namespace app
