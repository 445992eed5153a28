#include "platform/system/version.h"

#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/system/machine.h"

namespace platform::system {

namespace {

struct Override {
    std::mutex mutex;
    bool active = false;
    std::optional<OsVersion> version;
};

Override& override_() {
    static Override o;
    return o;
}

std::u16string widen(const std::string& s) {
    // The service pack text is ASCII in every version block we describe.
    return std::u16string(s.begin(), s.end());
}

}  // namespace

std::optional<OsVersion> osVersion() {
    {
        Override& o = override_();
        std::lock_guard lock(o.mutex);
        if (o.active) return o.version;
    }
    OsVersion version;
    std::ifstream in(machineFolder() / "machine.json");
    if (!in) return version;
    nlohmann::json doc = nlohmann::json::parse(in, nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || !doc.contains("os")) return version;
    const auto& os = doc["os"];
    if (!os.is_object()) return std::nullopt;
    try {
        version.major = os.value("major", version.major);
        version.minor = os.value("minor", version.minor);
        version.build = os.value("build", version.build);
        version.platformId = os.value("platformId", version.platformId);
        version.servicePack = widen(os.value("servicePack", std::string()));
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
    return version;
}

void overrideOsVersion(std::optional<OsVersion> version) {
    Override& o = override_();
    std::lock_guard lock(o.mutex);
    o.active = true;
    o.version = std::move(version);
}

void resetOsVersion() {
    Override& o = override_();
    std::lock_guard lock(o.mutex);
    o.active = false;
    o.version.reset();
}

}  // namespace platform::system
