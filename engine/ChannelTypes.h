#pragma once

#include <cstdint>
#include <span>

namespace engine {

// Channel type numbers.
namespace channel_type {
constexpr int kOffline = 0;
constexpr int kSerial = 1;
constexpr int kLibrary = 5;
constexpr int kBridge = 6;
constexpr int kAds = 7;
constexpr int kBox = 8;
}  // namespace channel_type

// A channel type, the number the connection dialogs give it, and its name in the channel
// list (null where the list shows something else: the port name, or nothing at all).
struct ChannelTypeRow {
    int type;
    int16_t kind;
    const char* listName;
};

inline constexpr ChannelTypeRow kChannelTypes[] = {
    {channel_type::kOffline, 0, "OFFLINE"}, {channel_type::kSerial, 1, nullptr},
    {channel_type::kLibrary, 4, "Linkora"}, {channel_type::kBridge, 5, nullptr},
    {channel_type::kAds, 6, "TwinCAT"},     {channel_type::kBox, 7, "Mirel"},
};

constexpr const ChannelTypeRow* FindChannelType(int type) {
    for (const ChannelTypeRow& row : kChannelTypes)
        if (row.type == type) return &row;
    return nullptr;
}

// The connection dialogs number the channels differently from their types; -1 for no type.
constexpr int16_t ChannelKindOfType(int type) {
    const ChannelTypeRow* row = FindChannelType(type);
    return row ? row->kind : int16_t{-1};
}

// The name a channel of the type has in the list; null when it has none of its own.
constexpr const char* ChannelListName(int type) {
    const ChannelTypeRow* row = FindChannelType(type);
    return row ? row->listName : nullptr;
}

}  // namespace engine
