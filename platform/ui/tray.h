// The tray icon service: one icon with a tip and a menu. Programs talk to the interface; the
// Qt implementation (platform/ui/qt_tray.h) shows it when the desktop has a tray and does
// nothing otherwise; the headless one records what was asked.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform::ui {

class TrayIcon {
  public:
    // Longest tip the tray shows, in characters (the rest is cut).
    static constexpr std::size_t kMaxTip = 63;

    virtual ~TrayIcon() = default;
    virtual void add(const std::u16string& tip) = 0;
    virtual void modify(const std::u16string& tip) = 0;
    virtual void remove() = 0;
    // Menu entries, in order; a hidden entry is not shown.
    struct MenuItem {
        std::u16string caption;
        std::function<void()> action;
        bool visible = true;
    };
    virtual void setMenu(std::vector<MenuItem> items) = 0;
    // Double-click on the icon.
    virtual void onActivated(std::function<void()> action) = 0;
    virtual bool shown() const = 0;
    // Whether the desktop has a system tray to show the icon in.
    virtual bool trayAvailable() const { return true; }
};

// Records the icon's life for tests and runs without a desktop.
class HeadlessTrayIcon : public TrayIcon {
  public:
    void add(const std::u16string& tip) override {
        shown_ = true;
        tip_ = cut(tip);
    }
    void modify(const std::u16string& tip) override { tip_ = cut(tip); }
    void remove() override { shown_ = false; }
    void setMenu(std::vector<MenuItem> items) override { menu_ = std::move(items); }
    void onActivated(std::function<void()> action) override { activated_ = std::move(action); }
    bool shown() const override { return shown_; }
    bool trayAvailable() const override { return trayAvailable_; }
    void setTrayAvailable(bool available) { trayAvailable_ = available; }

    const std::u16string& tip() const { return tip_; }
    const std::vector<MenuItem>& menu() const { return menu_; }
    // Simulates the user: a double-click, or a click on the visible entry with this caption.
    void doubleClick() {
        if (activated_) activated_();
    }
    bool choose(const std::u16string& caption) {
        for (auto& item : menu_)
            if (item.visible && item.caption == caption && item.action) {
                item.action();
                return true;
            }
        return false;
    }

    static std::u16string cut(const std::u16string& tip) { return tip.substr(0, kMaxTip); }

  private:
    bool shown_ = false;
    bool trayAvailable_ = true;
    std::u16string tip_;
    std::vector<MenuItem> menu_;
    std::function<void()> activated_;
};

}  // namespace platform::ui
