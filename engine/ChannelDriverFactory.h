#pragma once

#include <memory>
#include <string>

#include "engine/ChannelDriver.h"

namespace engine {

// The driver object each channel type gets when it is added to the list; null for OFFLINE and
// for types without a driver.
std::unique_ptr<CChannelDriver> CreateChannelDriver(CMain& owner, int channelIndex, int type,
                                                    const std::string& port);

}  // namespace engine
