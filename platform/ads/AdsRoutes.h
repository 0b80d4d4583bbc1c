#pragma once

// The route table of the ADS client library: which host serves which NetId (see AdsApi.h for
// the file's form and where it is looked for).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ads/AmsWire.h"

namespace adslib {

struct Route {
    ams::NetId netId;
    bool any = false;  // "*": every NetId without a route of its own
    std::string host;
    uint16_t port = ams::kDefaultTcpPort;
};

struct RouteTable {
    ams::NetId local{{127, 0, 0, 1, 1, 1}};
    std::vector<Route> routes;
    // Lines that could not be read, "<line number>: <why>"; such lines are left out.
    std::vector<std::string> errors;

    // The host and TCP port for a NetId; an exact entry before "*". False when none.
    bool Find(const ams::NetId& netId, std::string* host, uint16_t* port) const;
};

// Parses the text of a route table.
RouteTable ParseRouteTable(const std::string& text);
// Reads the table from the first file that exists of: $TUNOVA_ADS_ROUTES, the user's, the
// machine's. No file: an empty table with the default local NetId.
RouteTable LoadRouteTable();

}  // namespace adslib
