#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/CmdLineInfo.h"

using app::CCmdLineInfo;

namespace {

CCmdLineInfo Parse(std::vector<const char*> tokens) {
    tokens.insert(tokens.begin(), "tunova");
    CCmdLineInfo info;
    info.ParseCommandLine(static_cast<int>(tokens.size()), tokens.data());
    return info;
}

struct Case {
    std::vector<const char*> tokens;
    std::string goOnline, loadConfig, tags, user, qz, batch;
    bool hide, debug, resetGui;
};

TEST(CmdLineInfo, EachKeyWithPrefixesAndCase) {
    const Case cases[] = {
        {{"Hide"}, "", "", "", "", "", "", true, false, false},
        {{"/hide"}, "", "", "", "", "", "", true, false, false},
        {{"goonline=COM:ttyUSB0"}, "COM:ttyUSB0", "", "", "", "", "", false, false, false},
        {{"-GOONLINE=x y"}, "x y", "", "", "", "", "", false, false, false},
        {{"loadconfig=/tmp/a.xml"}, "", "/tmp/a.xml", "", "", "", "", false, false, false},
        {{"tags=beta,Test"}, "", "", "beta,Test", "", "", "", false, false, false},
        {{"DEBUG"}, "", "", "", "", "", "", false, true, false},
        {{"/debug"}, "", "", "", "", "", "", false, true, false},
        {{"-Debug"}, "", "", "", "", "", "", false, true, false},
        {{"debugx"}, "", "", "", "", "", "", false, false, false},
        {{"debu"}, "", "", "", "", "", "", false, false, false},
        {{"resetgui"}, "", "", "", "", "", "", false, false, true},
        {{"batch=run.txt"}, "", "", "", "", "", "run.txt", false, false, false},
        {{"user=Factory"}, "", "", "", "Factory", "", "", false, false, false},
        {{"qz=/tmp/peer.xml"}, "", "", "", "", "/tmp/peer.xml", "", false, false, false},
        {{"tags="}, "", "", "", "", "", "", false, false, false},
        {{"goonline=a", "goonline=b"}, "b", "", "", "", "", "", false, false, false},
        {{"unknown", "CwP=chan:100"}, "", "", "", "", "", "", false, false, false},
    };
    for (const Case& c : cases) {
        const CCmdLineInfo info = Parse(c.tokens);
        const std::string where = std::string("first token ") + c.tokens.front();
        EXPECT_EQ(info.goOnline, c.goOnline) << where;
        EXPECT_EQ(info.loadConfig, c.loadConfig) << where;
        EXPECT_EQ(info.tags, c.tags) << where;
        EXPECT_EQ(info.user, c.user) << where;
        EXPECT_EQ(info.qzPath, c.qz) << where;
        EXPECT_EQ(info.batch, c.batch) << where;
        EXPECT_EQ(info.hide, c.hide) << where;
        EXPECT_EQ(info.debug, c.debug) << where;
        EXPECT_EQ(info.resetGui, c.resetGui) << where;
    }
}

TEST(CmdLineInfo, EmptyTagsValueReplacesAnEarlierOne) {
    const CCmdLineInfo info = Parse({"tags=a,b", "tags="});
    EXPECT_EQ(info.tags, "");
}

TEST(CmdLineInfo, RawLineKeepsTheTokensForThePeerChannel) {
    const CCmdLineInfo info = Parse({"/debug", "CwP=Chan:4096"});
    EXPECT_EQ(info.RawLine(), "/debug CwP=Chan:4096");
}

}  // namespace
