// Test support: host names of the test's own, as a private hosts file would give them, for the
// life of an object. The CUPS queue mapping resolves a forward's host through them instead of
// the system's resolver; a name they lack cannot be resolved. The system's resolver is put
// back when the object goes.
#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/spooler/cups_map.h"

namespace platform::testing {

class ScopedHostAliases {
  public:
    using Hosts = std::map<std::string, std::vector<std::string>>;
    explicit ScopedHostAliases(std::initializer_list<Hosts::value_type> hosts)
        : ScopedHostAliases(Hosts(hosts)) {}
    explicit ScopedHostAliases(Hosts hosts) {
        platform::spooler::cups::setResolver([hosts = std::move(hosts)](const std::string& host)
                                                 -> std::optional<std::vector<std::string>> {
            const auto it = hosts.find(host);
            if (it == hosts.end()) return std::nullopt;
            return it->second;
        });
    }
    ~ScopedHostAliases() { platform::spooler::cups::setResolver(nullptr); }
    ScopedHostAliases(const ScopedHostAliases&) = delete;
    ScopedHostAliases& operator=(const ScopedHostAliases&) = delete;
};

}  // namespace platform::testing
