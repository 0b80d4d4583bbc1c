#pragma once

// The drive object's side of the peer-tool link: the link itself, with the drive's answer to the
// host's requests registered in it from the start.

#include <string>

#include "foundation/CommCOIQd.h"

namespace drive {

class CQd;

class CQdPeerLink : public foundation::CCommCOIQd {
  public:
    explicit CQdPeerLink(CQd& drive);
};

// The connection string of a GET_ONLINE_INFO answer for the connection window, or empty when the
// answer names no Linkora channel served from this machine or leaves out any part of the address.
std::string OnlineInfoConnectionString(const std::string& answer, const std::string& localHost);

}  // namespace drive
