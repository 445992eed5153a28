// The machine's network identity: its host address and the hardware addresses of its
// interfaces.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::system {

using MacAddress = std::array<std::uint8_t, 6>;

// The first IPv4 address the host's own name resolves to, in dotted decimal; empty when the
// name cannot be had or resolves to no IPv4 address.
std::string hostIPv4();

// The hardware address of the interface that holds the IPv4 address; nullopt when no
// interface holds it or the interface has no hardware address (loopback).
std::optional<MacAddress> macOfAddress(std::string_view ipv4);

// One line per interface with a hardware address that is not all zero, loopback left out, in
// the address-listing format: "XX-XX-XX-XX-XX-XX" (upper case), blanks, the interface name.
std::vector<std::string> macListing();

}  // namespace platform::system
