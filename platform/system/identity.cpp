#include "platform/system/identity.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netpacket/packet.h>
#include <unistd.h>

#include <cstdio>
#include <map>

namespace platform::system {

namespace {

// Interface name -> hardware address, from the AF_PACKET entries.
std::map<std::string, MacAddress> hardwareAddresses(const ifaddrs* list) {
    std::map<std::string, MacAddress> out;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET) continue;
        const auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
        if (ll->sll_halen != 6) continue;
        MacAddress mac{};
        for (int n = 0; n < 6; ++n) mac[n] = ll->sll_addr[n];
        out[i->ifa_name] = mac;
    }
    return out;
}

bool allZero(const MacAddress& mac) {
    for (auto b : mac)
        if (b) return false;
    return true;
}

}  // namespace

std::string hostIPv4() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || !found) return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    std::string answer = ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) ? text : "";
    ::freeaddrinfo(found);
    return answer;
}

std::optional<MacAddress> macOfAddress(std::string_view ipv4) {
    in_addr wanted{};
    if (::inet_pton(AF_INET, std::string(ipv4).c_str(), &wanted) != 1) return std::nullopt;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return std::nullopt;
    std::optional<MacAddress> answer;
    const auto macs = hardwareAddresses(list);
    for (const ifaddrs* i = list; i && !answer; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        if (reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr != wanted.s_addr)
            continue;
        if (i->ifa_flags & IFF_LOOPBACK) break;
        if (auto it = macs.find(i->ifa_name); it != macs.end() && !allZero(it->second))
            answer = it->second;
    }
    ::freeifaddrs(list);
    return answer;
}

std::vector<std::string> macListing() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    std::vector<std::string> lines;
    const auto macs = hardwareAddresses(list);
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        auto it = macs.find(i->ifa_name);
        if (it == macs.end() || allZero(it->second)) continue;
        const MacAddress& m = it->second;
        char text[64];
        std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X   ", m[0], m[1], m[2], m[3],
                      m[4], m[5]);
        lines.push_back(text + std::string(i->ifa_name));
    }
    ::freeifaddrs(list);
    return lines;
}

}  // namespace platform::system
