#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

class CNodo;

// The node guard's view of a channel type that is not serial Modbus (the library, the bridge, ADS
// and the box implement it beside CChannelDriver). Every call runs with the node locked.
class CGuardedChannel {
  public:
    virtual ~CGuardedChannel() = default;

    // Arming: get the channel ready and make sure the node answers; 0 or the driver's result.
    virtual int GuardArm(CNodo& node) = 0;
    // A sign of life since the guard period started (may ping the node when the channel was quiet).
    virtual bool GuardAlive(CNodo& node) = 0;
    // The channel itself reports too many errors.
    virtual bool GuardBroken() = 0;
    // Start of a new guard period; 0 or the failure.
    virtual int GuardPrepare(CNodo& node) = 0;
    // Closes the connection of a lost node.
    virtual void GuardClose() = 0;
};

// Second parameter of the guard's notification: channel, node id and the node's guard state.
intptr_t NodeGuardDetail(int channelIndex, uint8_t nodeId, uint8_t guardState);

}  // namespace engine
