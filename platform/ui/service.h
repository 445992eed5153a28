// The slot that holds one replaceable service of the process (message boxes, dialogs): the
// headless implementation until a program installs another; installing nothing restores it.
#pragma once

#include <memory>
#include <mutex>

namespace platform::ui {

template <class Service, class Headless>
class ServiceSlot {
  public:
    std::shared_ptr<Service> get() {
        std::lock_guard lock(mutex_);
        return current_;
    }
    void set(std::shared_ptr<Service> replacement) {
        std::lock_guard lock(mutex_);
        current_ = replacement ? std::move(replacement) : std::make_shared<Headless>();
    }
    // The slot of the process; it lives to the end of the process.
    static ServiceSlot& instance() {
        static ServiceSlot* slot = new ServiceSlot;
        return *slot;
    }

  private:
    std::mutex mutex_;
    std::shared_ptr<Service> current_ = std::make_shared<Headless>();
};

}  // namespace platform::ui
