// The network connections of the current user ("net use"), from the machine description.
#pragma once

#include <string>
#include <vector>

#include "platform/system/description.h"

namespace platform::system {

std::vector<NetworkUse> networkUses();

// The listing as the network-use command prints it: a header, one line per connection
// ("<status> <local> <remote> <network>" in columns), and the closing line, each ended by
// carriage return and line feed.
std::string netUseListing(const std::vector<NetworkUse>& uses);

}  // namespace platform::system
