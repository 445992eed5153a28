#include "viewer/dialog/qt_select_printer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/window/qt_window.h"
#include "platform/window/virtual_keys.h"
#include "viewer/forms/qt_forms.h"
#include "viewer/log/log.h"
#include "viewer/state/module_state.h"

namespace vistrel::dialog {

namespace {

QString qs(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

QColor qtColour(std::uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

struct LabelSpec {
    Control control;
    const char* name;
    const char* caption;
};

// The information panel, one row per caption and the value label it names.
const LabelSpec kPanel[][2] = {
    {{Control::lblLabel2, "lblLabel2", "종류:"}, {Control::lblKind, "lblKind", ""}},
    {{Control::lblLabel3, "lblLabel3", ""}, {Control::lblPortName, "lblPortName", ""}},
    {{Control::lblLabel4, "lblLabel4", ""}, {Control::lblJob, "lblJob", ""}},
    {{Control::lblLabel5, "lblLabel5", ""}, {Control::lblChangable, "lblChangable", ""}},
    {{Control::lblLabel6, "lblLabel6", ""}, {Control::lblSpool, "lblSpool", ""}},
    {{Control::lblLabel7, "lblLabel7", ""}, {Control::lblKeep, "lblKeep", ""}},
    {{Control::lblDriver, "lblDriver", ""}, {Control::lblDriverName, "lblDriverName", ""}},
    {{Control::lblLabel8, "lblLabel8", ""}, {Control::lblMonitor, "lblMonitor", ""}},
    {{Control::lblLabel9, "lblLabel9", ""}, {Control::lblPortType, "lblPortType", ""}},
    {{Control::lblLabel10, "lblLabel10", ""}, {Control::lblDescription, "lblDescription", ""}},
    {{Control::Label2, "Label2", ""}, {Control::lblIntranet, "lblIntranet", ""}},
    {{Control::lblDPI, "lblDPI", ""}, {Control::lblDPIVal, "lblDPIVal", ""}},
    {{Control::lblBiDirection, "lblBiDirection", "양방향 지원:"},
     {Control::lblBiDirectionV, "lblBiDirectionV", ""}},
    {{Control::lblAdvancedFeatures, "lblAdvancedFeatures", "고급 인쇄 기능 사용:"},
     {Control::lblAdvancedFeaturesV, "lblAdvancedFeaturesV", ""}},
};

bool unattendedPlatform() {
    const QString name = QGuiApplication::platformName();
    return name == QLatin1String("offscreen") || name == QLatin1String("minimal");
}

// The one dialog shown on this thread, if any.
thread_local bool g_showing = false;

}  // namespace

SelectPrinterDialog::SelectPrinterDialog(std::u16string& handBack, DialogProbes probes,
                                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmSelectPrinter"));
    setWindowTitle(QStringLiteral("프린터 목록"));
    setModal(true);
    auto* column = new QVBoxLayout(this);
    column->addLayout(buildPrinterList());
    column->addWidget(buildPanel());
    column->addWidget(buildStatus());
    column->addLayout(buildButtons());
    connectEvents();

    // The form is a window of the thread's window tree, so that it becomes the active window
    // the keep-on-top control lifts while the form is shown.
    platform::window::attachWidget(this);
    DialogServices services;
    services.topmost = hostKeepOnTop();
    controller_ =
        std::make_unique<SelectPrinterController>(*this, services, std::move(probes), handBack);

    unattended_ = unattendedPlatform();
    if (unattended_) prepareScript();
    // Cancel, Escape and the window's close command are the operator's.
    noChoice_ = u"프린터 선택 창에서 취소했습니다.";
}

// The printer list with its caption.
QLayout* SelectPrinterDialog::buildPrinterList() {
    auto* listRow = new QHBoxLayout;
    auto* listCaption = new QLabel(this);
    listCaption->setObjectName(QStringLiteral("lblLabel1"));
    widgets_[int(Control::lblLabel1)] = listCaption;
    combo_ = new QComboBox(this);
    combo_->setObjectName(QStringLiteral("cboPrinters"));
    combo_->setEditable(false);
    listCaption->setBuddy(combo_);
    widgets_[int(Control::cboPrinters)] = combo_;
    listRow->addWidget(listCaption);
    listRow->addWidget(combo_, 1);
    return listRow;
}

// The information panel: a caption and a value label per row.
QWidget* SelectPrinterDialog::buildPanel() {
    auto* frame2 = new QGroupBox(QStringLiteral("프린터 정보"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    widgets_[int(Control::Frame2)] = frame2;
    auto* grid = new QGridLayout(frame2);
    int row = 0;
    for (const auto& pair : kPanel) {
        int col = 0;
        for (const LabelSpec& spec : pair) {
            auto* label = new QLabel(QString::fromUtf8(spec.caption), frame2);
            label->setObjectName(QString::fromLatin1(spec.name));
            label->setTextInteractionFlags(Qt::NoTextInteraction);
            widgets_[int(spec.control)] = label;
            grid->addWidget(label, row, col++);
        }
        ++row;
    }
    return frame2;
}

// The status box, read-only, in its own frame.
QWidget* SelectPrinterDialog::buildStatus() {
    auto* frame1 = new QGroupBox(this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    widgets_[int(Control::Frame1)] = frame1;
    auto* frame1Layout = new QVBoxLayout(frame1);
    auto* status = new forms::QtFlatTextBox(frame1);
    status->setObjectName(QStringLiteral("txtStatus"));
    status->setMinimumHeight(90);
    status->logic().setLocked(true);
    widgets_[int(Control::txtStatus)] = status;
    frame1Layout->addWidget(status);
    return frame1;
}

// The row of buttons; a key pressed on any of them goes to the controller.
QLayout* SelectPrinterDialog::buildButtons() {
    auto* buttons = new QHBoxLayout;
    const std::pair<Control, const char*> buttonSpecs[] = {{Control::cmdPrint, "cmdPrint"},
                                                           {Control::cmdCancel, "cmdCancel"},
                                                           {Control::cmdRefresh, "cmdRefresh"},
                                                           {Control::cmdTest, "cmdTest"},
                                                           {Control::prnSetup, "prnSetup"}};
    const char* designCaptions[] = {"출  력", "취  소", "새로고침", "테스트", "Printer Setup"};
    int index = 0;
    for (const auto& [control, name] : buttonSpecs) {
        auto* button = new forms::QtXButton(this, QString::fromUtf8(designCaptions[index++]));
        button->setObjectName(QString::fromLatin1(name));
        button->setMinimumSize(88, 28);
        button->logic().setButtonType(3);
        widgets_[int(control)] = button;
        buttons->addWidget(button);
        button->logic().events.keyDown = [this](short& keyCode, short&) {
            controller_->keyDown(keyCode);
        };
    }
    return buttons;
}

// The buttons' clicks, the list's choice and the timer, each to its controller handler.
void SelectPrinterDialog::connectEvents() {
    auto& print = static_cast<forms::QtXButton*>(widgets_[int(Control::cmdPrint)])->logic();
    print.events.click = [this] { controller_->printClicked(); };
    static_cast<forms::QtXButton*>(widgets_[int(Control::cmdCancel)])->logic().events.click =
        [this] { controller_->cancelClicked(); };
    static_cast<forms::QtXButton*>(widgets_[int(Control::cmdRefresh)])->logic().events.click =
        [this] { controller_->refreshClicked(); };
    static_cast<forms::QtXButton*>(widgets_[int(Control::cmdTest)])->logic().events.click = [this] {
        controller_->testClicked();
    };
    static_cast<forms::QtXButton*>(widgets_[int(Control::prnSetup)])->logic().events.click =
        [this] { controller_->setupClicked(); };
    // Only the user's choice runs the selection step, never a change made by the controller.
    connect(combo_, &QComboBox::activated, this, [this](int) { controller_->selectionChanged(); });

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(100);
    connect(timer1_, &QTimer::timeout, this, [this] { controller_->timerTick(); });
}

// Where nobody can click: the timer that watches for the script file, when one is named.
void SelectPrinterDialog::prepareScript() {
    const QByteArray path = qgetenv("TESSEL_PRINTER_DIALOG_SCRIPT");
    if (!path.isEmpty()) {
        script_ = new QTimer(this);
        script_->setInterval(50);
        connect(script_, &QTimer::timeout, this, [this] { runScript(); });
    }
}

SelectPrinterDialog::~SelectPrinterDialog() {
    setWaitCursor(false);
}

QWidget* SelectPrinterDialog::widgetOf(Control control) const {
    return control == Control::Form ? const_cast<SelectPrinterDialog*>(this)
                                    : widgets_[int(control)];
}

void SelectPrinterDialog::setText(Control control, const std::u16string& text) {
    QString t = qs(text);
    if (control == Control::Form) {
        setWindowTitle(t);
        return;
    }
    QWidget* w = widgets_[int(control)];
    if (!w) return;
    if (auto* box = dynamic_cast<forms::QtFlatTextBox*>(w)) {
        box->logic().setText(text);
    } else if (auto* button = dynamic_cast<forms::QtXButton*>(w)) {
        button->logic().setCaption(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(t);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }
}

void SelectPrinterDialog::setColour(Control control, std::uint32_t colour) {
    QWidget* w = control == Control::Form ? nullptr : widgets_[int(control)];
    if (!w) return;
    if (auto* box = dynamic_cast<forms::QtFlatTextBox*>(w)) {
        box->logic().setForeColor(colour);
        return;
    }
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, qtColour(colour));
    w->setPalette(palette);
}

void SelectPrinterDialog::setEnabled(Control control, bool on) {
    QWidget* w = control == Control::Form ? nullptr : widgets_[int(control)];
    if (!w) return;
    if (auto* button = dynamic_cast<forms::QtXButton*>(w)) button->logic().setEnabled(on);
    w->setEnabled(on);
}

void SelectPrinterDialog::focus(Control control) {
    if (QWidget* w = widgetOf(control)) w->setFocus(Qt::OtherFocusReason);
}

void SelectPrinterDialog::setPrinters(const std::vector<std::u16string>& names) {
    const QSignalBlocker block(combo_);
    combo_->clear();
    for (const auto& name : names) combo_->addItem(qs(name));
    combo_->setCurrentIndex(-1);
}

std::u16string SelectPrinterDialog::comboText() const {
    return combo_->currentText().toStdU16String();
}

bool SelectPrinterDialog::selectPrinter(const std::u16string& name) {
    const int index = combo_->findText(qs(name), Qt::MatchFixedString);
    if (index < 0) return false;
    const QSignalBlocker block(combo_);
    combo_->setCurrentIndex(index);
    return true;
}

void SelectPrinterDialog::setWaitCursor(bool on) {
    // One flag, not the application's cursor stack: setting it twice restores once.
    if (on == waitCursor_) return;
    waitCursor_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void SelectPrinterDialog::startTimer() {
    timer1_->start();
}

void SelectPrinterDialog::stopTimer() {
    timer1_->stop();
}

void SelectPrinterDialog::yield() {
    QCoreApplication::processEvents();
}

void SelectPrinterDialog::dismiss() {
    if (closing_) return;
    closing_ = true;
    if (script_) script_->stop();
    setWaitCursor(false);
    done(QDialog::Rejected);
}

void SelectPrinterDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shown_) return;
    shown_ = true;
    activateWindow();
    // The first activation runs when the window system activates the form, so that the form is
    // the active window the keep-on-top control lifts; a platform that never activates it gets
    // the activation a moment later all the same.
    QPointer<SelectPrinterDialog> self(this);
    QTimer::singleShot(kActivationWaitMs, this, [self] {
        if (self) self->firstActivation();
    });
}

bool SelectPrinterDialog::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate && shown_ && !activated_) {
        QPointer<SelectPrinterDialog> self(this);
        QTimer::singleShot(0, this, [self] {
            if (self) self->firstActivation();
        });
    }
    return handled;
}

void SelectPrinterDialog::firstActivation() {
    if (activated_) return;
    activated_ = true;
    QPointer<SelectPrinterDialog> self(this);
    controller_->activate();
    if (!self) return;
    if (script_) {
        script_->start();
    } else if (unattended_) {
        // Nobody can choose: the automatic print has its one chance, then the dialog
        // cancels, as a message box takes its default answer.
        controller_->timerTick();
        if (self && !controller_->closed()) {
            noChoice_ = u"화면이 없는 Qt 플랫폼(" +
                        QGuiApplication::platformName().toStdU16String() +
                        u")이라 프린터 선택 창에 답할 사람이 없어 창을 바로 취소했습니다.";
            controller_->cancelClicked();
        }
    }
}

void SelectPrinterDialog::closeEvent(QCloseEvent* event) {
    if (closing_ || controller_->closeRequested())
        event->accept();
    else
        event->ignore();
}

void SelectPrinterDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        controller_->keyDown(platform::window::VK_ESCAPE);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SelectPrinterDialog::reject() {
    // Only the controller ends the dialog (Escape and the close command go through it).
    if (closing_) QDialog::reject();
}

void SelectPrinterDialog::runScript() {
    if (controller_->busy() || controller_->closed()) return;
    const QString path = QString::fromLocal8Bit(qgetenv("TESSEL_PRINTER_DIALOG_SCRIPT"));
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) return;
    const QString command = QString::fromUtf8(file.readAll()).trimmed();
    file.close();
    if (command == QLatin1String("cancel")) {
        QFile::rename(path, path + QStringLiteral(".done"));
        noChoice_ = u"TESSEL_PRINTER_DIALOG_SCRIPT의 cancel로 프린터 선택 창을 취소했습니다.";
        controller_->cancelClicked();
        return;
    }
    if (!command.startsWith(QLatin1String("print"))) return;
    const QString device = command.mid(5).trimmed();
    if (!device.isEmpty() &&
        QString::compare(qs(controller_->currentPrinterName()), device, Qt::CaseInsensitive) != 0) {
        if (!selectPrinter(device.toStdU16String())) return;
        controller_->selectionChanged();
        return;  // the next round presses Print once the step has run
    }
    if (!controller_->printEnabled()) return;
    QFile::rename(path, path + QStringLiteral(".done"));
    controller_->printClicked();
}

std::u16string showPrinterSelection() {
    auto& handBack = moduleState().print.SelectedPrinterName;
    if (g_showing) {
        WriteLog(u"프린터 선택 창이 이미 열려 있어 다시 열지 않습니다.", 1);
        handBack.clear();
        return u"프린터 선택 창이 이미 열려 있습니다.";
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        WriteLog(u"프린터 선택 창을 열 수 없어 인쇄하지 않습니다.", 1);
        handBack.clear();
        return u"창을 띄울 QApplication이 없어 프린터 선택 창을 열 수 없습니다.";
    }
    g_showing = true;
    struct Release {
        ~Release() { g_showing = false; }
    } release;
    SelectPrinterDialog dialog(handBack, DialogProbes::machine(), QApplication::activeWindow());
    dialog.controller().load(DialogSnapshot::current());
    if (!dialog.controller().closed()) {
        // The viewer places the dialog at the screen's top-left corner, its size unchanged.
        dialog.move(0, 0);
        dialog.exec();
    }
    return handBack.empty() ? dialog.noChoice() : std::u16string();
}

PrinterChooser qtPrinterChooser() {
    return [] { return showPrinterSelection(); };
}

}  // namespace vistrel::dialog
