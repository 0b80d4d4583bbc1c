#include "platform/ads/AdsRoutes.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace adslib {

bool RouteTable::Find(const ams::NetId& netId, std::string* host, uint16_t* port) const {
    const Route* fallback = nullptr;
    for (const Route& r : routes) {
        if (r.any) {
            if (!fallback) fallback = &r;
        } else if (r.netId == netId) {
            *host = r.host;
            *port = r.port;
            return true;
        }
    }
    if (!fallback) return false;
    *host = fallback->host;
    *port = fallback->port;
    return true;
}

RouteTable ParseRouteTable(const std::string& text) {
    RouteTable table;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.empty()) continue;
        auto fail = [&](const std::string& why) {
            table.errors.push_back(std::to_string(number) + ": " + why);
        };
        if (w[0] == "local") {
            ams::NetId id;
            if (w.size() != 2 || !ams::ParseNetId(w[1], &id)) {
                fail("expected: local <NetId>");
                continue;
            }
            table.local = id;
            continue;
        }
        Route route;
        if (w[0] == "*") {
            route.any = true;
        } else if (!ams::ParseNetId(w[0], &route.netId)) {
            fail("not a NetId: " + w[0]);
            continue;
        }
        if (w.size() < 2 || w.size() > 3) {
            fail("expected: <NetId> <host> [<port>]");
            continue;
        }
        route.host = w[1];
        if (w.size() == 3) {
            char* end = nullptr;
            const unsigned long port = std::strtoul(w[2].c_str(), &end, 10);
            if (*end != '\0' || port == 0 || port > 65535 || w[2][0] == '-') {
                fail("not a TCP port: " + w[2]);
                continue;
            }
            route.port = static_cast<uint16_t>(port);
        }
        table.routes.push_back(route);
    }
    return table;
}

RouteTable LoadRouteTable() {
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("TUNOVA_ADS_ROUTES"); env && *env) {
        candidates.push_back(env);
    } else {
        if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
            candidates.push_back(std::string(xdg) + "/tunova/ads-routes");
        else if (const char* home = std::getenv("HOME"); home && *home)
            candidates.push_back(std::string(home) + "/.config/tunova/ads-routes");
        candidates.push_back("/etc/tunova/ads-routes");
    }
    for (const std::string& path : candidates) {
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        std::ostringstream text;
        text << in.rdbuf();
        return ParseRouteTable(text.str());
    }
    return RouteTable{};
}

}  // namespace adslib
