#include "platform/window/qt_window.h"

#include "platform/window/keyboard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <map>

namespace platform::window {

namespace {

class QtNative : public NativeWindow {
  public:
    explicit QtNative(QWidget* widget) : widget_(widget) {}
    void setTopmost(bool on) override {
        if (!widget_) return;
        // The flag on the platform window changes the stay-on-top state in place; the widget's
        // own setWindowFlags would hide and re-show the window.
        if (QWindow* window = widget_->windowHandle())
            window->setFlag(Qt::WindowStaysOnTopHint, on);
        else
            widget_->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    }

  private:
    QPointer<QWidget> widget_;
};

std::map<Hwnd, QWidget*>& widgets() {
    thread_local std::map<Hwnd, QWidget*> map;
    return map;
}

Rect rectOf(QWidget* w) {
    const QRect g = w->geometry();
    return {g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
}

class Follower : public QObject {
  public:
    Follower(QWidget* widget, Hwnd hwnd) : QObject(widget), widget_(widget), hwnd_(hwnd) {
        widget->installEventFilter(this);
    }
    ~Follower() override {
        widgets().erase(hwnd_);
        destroyWindow(hwnd_);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
                moveWindow(hwnd_, rectOf(widget_));
                break;
            case QEvent::Show:
                setVisible(hwnd_, true);
                break;
            case QEvent::Hide:
                setVisible(hwnd_, false);
                break;
            case QEvent::WindowActivate:
                if (widget_->isWindow()) setActiveWindow(hwnd_);
                break;
            case QEvent::WindowDeactivate:
                if (widget_->isWindow() && activeWindow() == hwnd_) setActiveWindow(0);
                break;
            default:
                break;
        }
        return false;
    }

  private:
    QWidget* widget_;
    Hwnd hwnd_;
};

// Key events of a real desktop are read on the Qt loop of the thread whose hooks asked for them.
const bool g_keyboardWatcher = [] {
    setDesktopKeyboardWatcher([](bool on) {
        thread_local QPointer<QTimer> reader;
        if (!on) {
            // Possibly from inside the reader's own timeout (a display that went away).
            if (reader) {
                reader->stop();
                reader->deleteLater();
            }
            reader = nullptr;
            return;
        }
        if (reader || !QCoreApplication::instance()) return;
        QCoreApplication* app = QCoreApplication::instance();
        reader = new QTimer(app->thread() == QThread::currentThread() ? app : nullptr);
        QObject::connect(reader, &QTimer::timeout, [] { pumpDesktopKeyboard(); });
        reader->start(10);
    });
    return true;
}();

}  // namespace

Hwnd attachWidget(QWidget* widget) {
    if (!widget) return 0;
    for (const auto& [hwnd, w] : widgets())
        if (w == widget) return hwnd;
    const Hwnd parent = widget->isWindow() ? 0 : attachWidget(widget->parentWidget());
    const Hwnd hwnd = createWindow(parent, rectOf(widget), widget->objectName().toStdU16String());
    setVisible(hwnd, widget->isVisible());
    widgets()[hwnd] = widget;
    if (widget->isWindow()) setNative(hwnd, std::make_shared<QtNative>(widget));
    new Follower(widget, hwnd);
    if (widget->isWindow() && widget->isActiveWindow()) setActiveWindow(hwnd);
    return hwnd;
}

QWidget* widgetOf(Hwnd hwnd) {
    auto it = widgets().find(hwnd);
    return it == widgets().end() ? nullptr : it->second;
}

void startTimerPump() {
    // The pump goes with its application; a later application gets a new one.
    thread_local QPointer<QTimer> pump;
    if (pump || !QCoreApplication::instance()) return;
    pump = new QTimer(QCoreApplication::instance());
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto last = std::make_shared<qint64>(0);
    QObject::connect(pump, &QTimer::timeout, [clock, last] {
        const qint64 now = clock->elapsed();
        advanceClock(now - *last);
        *last = now;
    });
    pump->start(10);
}

}  // namespace platform::window
