#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "../support/LocalHttpServer.h"
#include "platform/Http.h"

namespace {

using http_test::LocalHttpServer;
using http_test::Reply;
using http_test::Request;
using platform::CWebGrab;

std::string Pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return text;
}

class Http : public ::testing::Test {
  protected:
    void Serve(LocalHttpServer::Handler handler) { ASSERT_TRUE(server_.Start(std::move(handler))); }
    std::string Url(const std::string& path) const { return server_.Base() + path; }

    LocalHttpServer server_;
    CWebGrab grab_;
};

TEST_F(Http, StatusCodesAndTextsOfWholeAnswers) {
    // Every whole answer is data, error pages too; the caller judges the status code.
    struct Case {
        std::string path;
        Reply reply;
        int code;
        std::string text;
    };
    std::vector<Case> cases = {
        {"/ok", Reply::Text("hello"), 200, "OK"},
        {"/missing", Reply::Text("<html>gone</html>", 404, "Not Found"), 404, "Not Found"},
        {"/broken", Reply::Text("oops", 500, "Internal Server Error"), 500, "Internal Server Error"},
        {"/empty", Reply::Text(""), 200, "OK"},
    };
    Serve([&](const Request& request) {
        for (auto& c : cases) {
            if (c.path == request.path) return c.reply;
        }
        return Reply::Text("", 400, "Bad Request");
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string data = "stale";
        ASSERT_TRUE(grab_.GetFile(Url(c.path), data, "Tunova")) << grab_.Error();
        EXPECT_EQ(data, c.reply.body);
        EXPECT_EQ(grab_.StatusCode(), c.code);
        EXPECT_EQ(grab_.StatusText(), c.text);
        EXPECT_EQ(grab_.Error(), "");
    }
}

TEST_F(Http, BodiesOfEveryFramingArriveWhole) {
    // Longer than the 64 KiB a single read once took, without a declared length too.
    const std::string big = Pattern(200000);
    Serve([&](const Request& request) {
        Reply reply = Reply::Text(big);
        if (request.path == "/close") reply.length = Reply::Length::CloseDelimited;
        if (request.path == "/chunked") reply.length = Reply::Length::Chunked;
        return reply;
    });
    for (const char* path : {"/declared", "/close", "/chunked"}) {
        SCOPED_TRACE(path);
        std::string data;
        ASSERT_TRUE(grab_.GetFile(Url(path), data, "Tunova")) << grab_.Error();
        EXPECT_EQ(data.size(), big.size());
        EXPECT_TRUE(data == big);
    }
}

TEST_F(Http, RedirectsAreFollowedLoopsAreNot) {
    Serve([&](const Request& request) {
        if (request.path == "/old") return Reply::Redirect("/new");
        if (request.path == "/new") return Reply::Text("moved here");
        return Reply::Redirect("/loop");
    });
    std::string data;
    ASSERT_TRUE(grab_.GetFile(Url("/old"), data, "Tunova")) << grab_.Error();
    EXPECT_EQ(data, "moved here");
    EXPECT_EQ(grab_.StatusCode(), 200);
    EXPECT_EQ(grab_.StatusText(), "OK");

    EXPECT_FALSE(grab_.GetFile(Url("/loop"), data, "Tunova"));
    EXPECT_EQ(data, "");
    EXPECT_NE(grab_.Error(), "");
}

TEST_F(Http, AnswersCutShortAreFailuresWithoutData) {
    const std::string body = Pattern(5000);
    Serve([&](const Request& request) {
        Reply reply = Reply::Text(body);
        reply.cutAfter = 1234;
        if (request.path == "/chunked") reply.length = Reply::Length::Chunked;
        if (request.path == "/nothing") reply.closeWithoutAnswer = true;
        return reply;
    });
    for (const char* path : {"/declared", "/chunked", "/nothing"}) {
        SCOPED_TRACE(path);
        std::string data;
        EXPECT_FALSE(grab_.GetFile(Url(path), data, "Tunova"));
        EXPECT_EQ(data, "");
        EXPECT_NE(grab_.Error().find("Cannot download"), std::string::npos) << grab_.Error();
    }
}

TEST_F(Http, ReceiveTimeOutEndsAStalledAnswer) {
    Serve([&](const Request&) {
        Reply reply = Reply::Text("late");
        reply.stallMs = 60000;  // the server stops stalling when the test ends
        return reply;
    });
    grab_.SetReceiveTimeout(300);
    std::string data;
    EXPECT_FALSE(grab_.GetFile(Url("/slow"), data, "Tunova"));
    EXPECT_EQ(data, "");
    EXPECT_NE(grab_.Error().find("no answer within 300 ms"), std::string::npos) << grab_.Error();
}

TEST_F(Http, ServerGoneOrAddressRefused) {
    Serve([](const Request&) { return Reply::Text("x"); });
    const std::string url = Url("/file");
    server_.Stop();
    std::string data;
    EXPECT_FALSE(grab_.GetFile(url, data, "Tunova"));
    EXPECT_EQ(grab_.StatusCode(), 0);
    EXPECT_NE(grab_.Error(), "");

    // Only the web's own schemes are spoken.
    EXPECT_FALSE(grab_.GetFile("file:///etc/hostname", data, "Tunova"));
    EXPECT_EQ(data, "");
    EXPECT_FALSE(grab_.GetFile("", data, "Tunova"));
}

TEST_F(Http, AnExplicitProxyHasNoBypassList) {
    // The local server plays the proxy: it sees the whole address of the file asked for.
    std::vector<std::string> asked;
    Serve([&](const Request& request) {
        asked.push_back(request.path);
        return Reply::Text("via proxy");
    });
    const std::string target = "http://tunova-target.invalid/file";
    struct Case {
        const char* noProxy;  // null: not set
    } cases[] = {{nullptr}, {"*"}, {"tunova-target.invalid"}, {".invalid,localhost"}};
    const char* saved = std::getenv("no_proxy");
    const std::string keep = saved ? saved : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.noProxy ? c.noProxy : "(unset)");
        if (c.noProxy)
            setenv("no_proxy", c.noProxy, 1);
        else
            unsetenv("no_proxy");
        CWebGrab grab;
        grab.SetProxy(true, "127.0.0.1", server_.Port());
        std::string data;
        asked.clear();
        EXPECT_TRUE(grab.GetFile(target, data, "Tunova")) << grab.Error();
        EXPECT_EQ(data, "via proxy");
        EXPECT_EQ(asked, std::vector<std::string>{target});
    }
    if (saved)
        setenv("no_proxy", keep.c_str(), 1);
    else
        unsetenv("no_proxy");
}

TEST_F(Http, AnswersLongerThanTheLimitAreRefused) {
    Serve([](const Request& request) {
        Reply reply = Reply::Text(Pattern(5000));
        if (request.path == "/close") reply.length = Reply::Length::CloseDelimited;
        return reply;
    });
    grab_.SetMaxSize(1000);
    for (const char* path : {"/declared", "/close"}) {
        SCOPED_TRACE(path);
        std::string data;
        EXPECT_FALSE(grab_.GetFile(Url(path), data, "Tunova"));
        EXPECT_EQ(data, "");
        EXPECT_NE(grab_.Error().find("longer than 1000 bytes"), std::string::npos) << grab_.Error();
    }
}

TEST_F(Http, SecondDownloadReusesTheSession) {
    Serve([](const Request& request) { return Reply::Text(request.path); });
    std::string data;
    ASSERT_TRUE(grab_.GetFile(Url("/one"), data, "Tunova"));
    EXPECT_TRUE(grab_.HasSession());
    ASSERT_TRUE(grab_.GetFile(Url("/two"), data, "Other"));
    EXPECT_EQ(data, "/two");
    auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    // Same agent and same connection: the session of the first download.
    EXPECT_EQ(requests[0].userAgent, "Tunova");
    EXPECT_EQ(requests[1].userAgent, "Tunova");
    EXPECT_EQ(requests[1].connection, requests[0].connection);

    // A new session takes the new agent.
    ASSERT_TRUE(grab_.Initialise("Other"));
    ASSERT_TRUE(grab_.GetFile(Url("/three"), data, "ignored"));
    EXPECT_EQ(server_.Requests().back().userAgent, "Other");
}

TEST_F(Http, StatusTextsFollowTheDownload) {
    Serve([](const Request&) { return Reply::Text("x"); });
    std::vector<std::string> texts;
    grab_.SetStatusSink([&](const std::string& text) { texts.push_back(text); });
    std::string data;
    ASSERT_TRUE(grab_.GetFile(Url("/f"), data, "Tunova"));
    auto at = [&](const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) - texts.begin();
    };
    const auto end = static_cast<std::ptrdiff_t>(texts.size());
    ASSERT_LT(at("Resolving name for 127.0.0.1"), end);
    ASSERT_LT(at("Connecting to socket address "), end);
    ASSERT_LT(at("Request sent"), end);
    ASSERT_LT(at("Request complete"), end);
    EXPECT_LT(at("Resolving name for 127.0.0.1"), at("Connecting to socket address "));
    EXPECT_LT(at("Connecting to socket address "), at("Request sent"));
    EXPECT_LT(at("Request sent"), at("Response received"));
    EXPECT_EQ(texts.back(), "Request complete");
}

}  // namespace
