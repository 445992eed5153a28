// Notices: lines that tell whoever runs the program what happened and why, where nothing asks
// the user anything (a run that ended without printing, a dialog that nobody could answer). A
// library gives them; the program decides where they go: one with a log of its own installs a
// service that adds them to it. The headless service, in place until a program installs
// another, records every notice and writes it to standard error, one line each.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::ui {

class Notices {
  public:
    virtual ~Notices() = default;
    virtual void notice(const std::u16string& text) = 0;
};

// Gives a notice through the current service.
void notice(const std::u16string& text);

// The service of this process; the headless one until a program installs another.
std::shared_ptr<Notices> notices();
void setNotices(std::shared_ptr<Notices> service);

class HeadlessNotices : public Notices {
  public:
    explicit HeadlessNotices(bool logToStderr = true) : log_(logToStderr) {}
    // Written as "[notice] <text>", its line breaks and other control characters as escapes.
    void notice(const std::u16string& text) override;
    std::vector<std::u16string> given() const;
    void clear();

  private:
    bool log_;
    mutable std::mutex mutex_;
    std::vector<std::u16string> given_;
};

}  // namespace platform::ui
