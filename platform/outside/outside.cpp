#include "platform/outside/outside.h"

#include <mutex>
#include <vector>

namespace platform::outside {

namespace {

struct Table {
    std::mutex mutex;
    std::vector<std::pair<com::Guid, Create>> classes;
    bool registered = false;
};

Table& table() {
    static Table* t = new Table;
    return *t;
}

}  // namespace

bool addClass(const com::Guid& clsid, Create create) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.classes.emplace_back(clsid, std::move(create));
    return true;
}

void ensureRegistered() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (t.registered) return;
    t.registered = true;
    for (auto& [clsid, create] : t.classes) {
        std::uint32_t cookie = 0;
        com::CoRegisterClassObject(clsid, std::make_shared<com::SimpleClassFactory>(create),
                                   cookie);
    }
}

}  // namespace platform::outside
