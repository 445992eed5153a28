#include "server/viewerhost.h"

#include <QGuiApplication>
#include <QPointer>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>

#include "platform/com/control.h"
#include "platform/com/error.h"
#include "platform/com/events.h"
#include "platform/com/runtime.h"
#include "platform/spooler/spooler.h"
#include "platform/text/text.h"
#include "server/paramstring.h"

namespace tessel::server {

namespace {

namespace com = platform::com;
namespace text = platform::text;
using com::Variant;

constexpr com::Guid CLSID_Viewer = com::Guid::of("{3D68D089-7298-424E-B9CC-47A29A7EFD93}");
constexpr com::Guid DIID_ViewerEvents = com::Guid::of("{D72C85E9-AB97-43B1-80AB-50428D2B7F7B}");

// The viewer's members and events this form uses.
namespace dispid {
constexpr com::DispId ServerCA = 0x68030011, param = 0x6803000F, Initialize = 0x60030032,
                      isMP = 0x6803000E, charset = 0x6803000D, xml = 0x6803000C,
                      AvailablePrinter = 0x60030037, RunViewer = 0x60030038, Version = 0x68030003;
constexpr com::DispId ErrorMsg = 17, PrintResult = 18;
}  // namespace dispid

constexpr int kTwipsPerPixel = 15;

// The form's own size, taken when it is shown in the normal state without a place one can
// use; and the smallest size that counts as usable.
constexpr QSize kDesignSize(640, 480);
constexpr QSize kUsableSize(320, 240);

// frmViewer's window: the control fills it whenever it is resized (Form_Resize), and Timer2,
// disabled from the start, unloads the form on its tick.
class FormWidget : public QWidget {
  public:
    FormWidget() : QWidget(nullptr, Qt::Window) {
        setObjectName("frmViewer");
        setWindowTitle("Viewer");
        timer2 = new QTimer(this);
        timer2->setObjectName("Timer2");
        timer2->setInterval(3000);
    }
    // Viewer1: the control's widget.
    QPointer<QWidget> control;
    QTimer* timer2 = nullptr;

    void Form_Resize() {
        if (control) control->setGeometry(0, 0, width(), height());
    }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        Form_Resize();
    }
};

}  // namespace

struct ComViewerHost::Impl {
    explicit Impl(const Clock& clock) : logic(clock) {}

    std::u16string programFolder;
    ViewerForm logic;
    bool tried = false;
    std::shared_ptr<com::Dispatch> viewer;
    std::shared_ptr<com::SinkDispatch> sink;
    std::uint32_t cookie = 0;
    QPointer<FormWidget> form;
    ViewerEvents* events = nullptr;  // the run under way
    std::u16string whyNoPrinter;     // of the last run that found no printer

    bool ensure() {
        if (tried) return viewer != nullptr;
        tried = true;
        std::shared_ptr<com::Unknown> object;
        const com::HRESULT hr = com::CoCreateInstance(CLSID_Viewer, com::CLSCTX_INPROC_SERVER,
                                                      com::IID_IDispatch, object);
        if (com::FAILED(hr) || !object) {
            std::fprintf(stderr, "TesselServer: the viewer control cannot be created (0x%08X)\n",
                         static_cast<unsigned>(hr));
            return false;
        }
        viewer = com::query<com::Dispatch>(object);
        if (!viewer) return false;
        sink = std::make_shared<com::SinkDispatch>();
        sink->on(dispid::PrintResult, [this](std::vector<Variant>& args) {
            logic.PrintResult();
            if (events) events->printResult(!args.empty() && args[0].toBool());
        });
        sink->on(dispid::ErrorMsg, [this](std::vector<Variant>& args) {
            if (events)
                events->errorMsg(args.size() > 0 ? args[0].toText() : std::u16string(),
                                 args.size() > 1 ? args[1].toText() : std::u16string());
        });
        if (auto points = com::query<com::ConnectionPointContainer>(object))
            points->Advise(DIID_ViewerEvents, sink, cookie);
        makeForm(object);
        logic.Form_Load();
        return true;
    }

    // Unload: the form and its control end; the next use loads them afresh. Not while a run
    // holds the control.
    void unload() {
        if (events) return;
        if (form) {
            form->hide();
            form->deleteLater();  // the tick that asks for it may come from one of its children
            form.clear();
        }
        if (viewer) {
            if (auto points = com::query<com::ConnectionPointContainer>(viewer))
                points->Unadvise(cookie);
        }
        viewer.reset();
        sink.reset();
        cookie = 0;
        tried = false;
    }

    void makeForm(const std::shared_ptr<com::Unknown>& object) {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
        form = new FormWidget;
        QObject::connect(form->timer2, &QTimer::timeout, form, [this] {
            form->timer2->stop();
            unload();
        });
        if (auto view = com::query<com::ControlView>(object)) {
            void* widget = nullptr;
            if (com::SUCCEEDED(view->GetWidget(widget)) && widget) {
                form->control = static_cast<QWidget*>(widget);
                form->control->setParent(form);
            }
        }
        // No place yet: its own size in the middle of the screen.
        form->resize(0, 0);
        giveUsablePlace();
    }

    // The form in the normal state keeps its place when that place is on a screen and large
    // enough to use; otherwise (never placed, left off screen, made too small) it gets its
    // own size in the middle of the screen. The place it takes back from maximised counts.
    void giveUsablePlace() {
        QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
        if (!screen) return;
        const QRect available = screen->availableGeometry();
        const QRect normal = form->isMaximized() ? form->normalGeometry() : form->geometry();
        if (normal.width() >= kUsableSize.width() && normal.height() >= kUsableSize.height() &&
            available.contains(normal))
            return;
        QRect place(QPoint(), kDesignSize.boundedTo(available.size()));
        place.moveCenter(available.center());
        if (form->isMaximized()) {
            // Leaving the maximised state restores the normal place first.
            form->setWindowState(Qt::WindowNoState);
            form->setGeometry(place);
            form->setWindowState(Qt::WindowMaximized);
        } else {
            form->setGeometry(place);
        }
    }

    void place(const ViewerRun& request) {
        if (!form) return;
        if (request.hideWin) {
            form->setWindowState(Qt::WindowNoState);
            form->move(-1701 / kTwipsPerPixel, -1701 / kTwipsPerPixel);
            form->resize(567 / kTwipsPerPixel, 567 / kTwipsPerPixel);
        } else if (request.windowState == u"0") {
            form->setWindowState(Qt::WindowNoState);
            giveUsablePlace();
        } else if (request.windowState == u"2") {
            giveUsablePlace();
            form->setWindowState(Qt::WindowMaximized);
        } else {
            const auto parts = text::Split(request.windowState, u",");
            std::vector<int> v;
            for (const auto& p : parts) v.push_back(static_cast<int>(text::Val(p)));
            if (v.size() == 4) {
                form->move(v[0], v[1]);
                form->resize(v[2], v[3]);
            } else if (v.size() == 2) {
                form->move(v[0], v[1]);
            }
        }
        form->show();
    }
};

ComViewerHost::ComViewerHost(std::u16string programFolder, const Clock& clock)
    : impl_(std::make_unique<Impl>(clock)) {
    impl_->programFolder = std::move(programFolder);
    impl_->logic.hideForm = [impl = impl_.get()] {
        if (impl->form) impl->form->hide();
    };
}

ComViewerHost::~ComViewerHost() {
    if (impl_->viewer) {
        if (auto points = com::query<com::ConnectionPointContainer>(impl_->viewer))
            points->Unadvise(impl_->cookie);
    }
    delete impl_->form.data();
}

bool ComViewerHost::available() const {
    return impl_->ensure();
}

std::u16string ComViewerHost::version() {
    if (!impl_->ensure()) return {};
    try {
        return com::invoke(*impl_->viewer, dispid::Version, com::DISPATCH_PROPERTYGET).toText();
    } catch (const std::exception&) {
        return {};
    }
}

void ComViewerHost::attach(ViewerFormServices* services) {
    impl_->logic.attach(services);
}

ViewerForm& ComViewerHost::form() {
    return impl_->logic;
}

void ComViewerHost::unload() {
    impl_->unload();
}

void ComViewerHost::hide() {
    if (impl_->form) impl_->form->hide();
}

void ComViewerHost::show() {
    impl_->ensure();
    if (impl_->form) {
        impl_->giveUsablePlace();
        impl_->form->show();
        impl_->form->raise();
    }
}

std::u16string ComViewerHost::whyNoPrinter() const {
    return impl_->whyNoPrinter;
}

bool ComViewerHost::run(ViewerRun request, ViewerEvents& events) {
    impl_->whyNoPrinter.clear();
    if (!impl_->ensure()) return false;
    impl_->place(request);
    impl_->events = &events;
    struct Clear {
        Impl& impl;
        ~Clear() { impl.events = nullptr; }
    } clear{*impl_};
    auto& v = *impl_->viewer;
    const auto put = [&v](com::DispId id, Variant value) {
        // The value moves into the arguments (a list of them in braces would copy it).
        std::vector<Variant> args;
        args.push_back(std::move(value));
        com::invoke(v, id, com::DISPATCH_PROPERTYPUT, std::move(args));
    };
    try {
        put(dispid::ServerCA, Variant(u"Viewer"));
        com::invoke(v, dispid::Initialize, com::DISPATCH_METHOD,
                    {Variant(impl_->programFolder), Variant(std::int32_t{0})});
        impl_->logic.tag = request.clientTag;  // the container's own property
        put(dispid::param, Variant(PrinterSettingsResetText()));
        put(dispid::param, Variant(request.paramCipherText));
        put(dispid::charset, Variant(u"utf-8"));
        // The list moves across the call: the viewer keeps it and splits it in place.
        put(dispid::xml, Variant(std::move(request.pageImageList)));
        put(dispid::ServerCA, Variant(u"Viewer"));
        put(dispid::isMP, Variant(request.topWin));
        if (!com::invoke(v, dispid::AvailablePrinter, com::DISPATCH_METHOD).toBool()) {
            impl_->whyNoPrinter = platform::spooler::serverFailure();
            return false;
        }
        events.running();
        com::invoke(v, dispid::RunViewer, com::DISPATCH_METHOD, {Variant(true)});
        return true;
    } catch (const com::ComError& e) {
        std::fprintf(stderr, "TesselServer: the viewer failed: %s\n",
                     text::toUtf8(e.description()).c_str());
        return false;
    }
}

}  // namespace tessel::server
