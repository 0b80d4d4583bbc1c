#pragma once

// Helpers the fuzz targets share: loopback peers and private scratch folders.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz {

// Reads exactly size bytes; false when the peer closes or stays silent for a second.
inline bool ReadAll(int fd, uint8_t* into, size_t size) {
    for (size_t at = 0; at < size;) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 1000) <= 0) return false;
        const ssize_t n = read(fd, into + at, size - at);
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

// A listening socket on a free loopback port; a target that cannot have one cannot run at all.
inline int ListenOnLoopback(uint16_t* port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        abort();
    *port = ntohs(address.sin_port);
    return fd;
}

// A new folder under /tmp named after the target, removed when the process exits; empty when
// none could be made.
inline std::filesystem::path ScratchFolder(const char* name) {
    static std::vector<std::filesystem::path> folders;
    std::string pattern = std::string("/tmp/") + name + "_XXXXXX";
    if (!::mkdtemp(pattern.data())) return {};
    if (folders.empty())
        std::atexit([] {
            for (const auto& folder : folders) {
                std::error_code ec;
                std::filesystem::remove_all(folder, ec);
            }
        });
    folders.emplace_back(pattern);
    return folders.back();
}

}  // namespace fuzz
