#include "viewer/forms/qt_print_list.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "platform/window/qt_window.h"
#include "viewer/forms/qt_forms.h"

namespace vistrel::forms {

namespace {

QString qs(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

// The form's design is in twips; the screen has 15 to a pixel.
int px(int twips) {
    return twips / 15;
}

QRect design(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

}  // namespace

QtPrintList::QtPrintList(QWidget* parent, PrintListParts parts) : QDialog(parent) {
    setObjectName("frmPrintList");
    setFixedSize(px(4680), px(2550));

    timer_ = new QTimer(this);
    timer_->setObjectName("Timer1");
    timer_->setInterval(PrintListForm::kTimerInterval);

    frame_ = new QGroupBox(this);
    frame_->setObjectName("Frame1");
    frame_->setGeometry(design(60, 120, 4575, 1815));
    frame_->setStyleSheet("QGroupBox#Frame1 { color: blue; font-weight: bold; }");
    printers_ = new QComboBox(frame_);
    printers_->setObjectName("cboPrinters");
    printers_->setGeometry(design(120, 360, 4305, 315));
    instruction_ = new QLabel(frame_);
    instruction_->setObjectName("Label1");
    instruction_->setGeometry(design(120, 840, 4335, 375));
    instruction_->setWordWrap(true);
    instruction_->setStyleSheet("color: darkblue;");
    contact_ = new QLabel(frame_);
    contact_->setObjectName("Label2");
    contact_->setGeometry(design(120, 1320, 4335, 375));
    contact_->setWordWrap(true);
    contact_->setStyleSheet("color: red;");
    name_ = new QLineEdit(frame_);
    name_->setObjectName("lstPrint");
    name_->setGeometry(design(120, 1320, 4335, 285));

    print_ = new QtXButton(this);
    print_->setObjectName("cmdPrint");
    print_->setGeometry(design(2280, 2040, 1095, 375));
    cancel_ = new QtXButton(this);
    cancel_->setObjectName("cmdCancel");
    cancel_->setGeometry(design(3450, 2040, 1095, 375));

    parts.yield = parts.yield ? parts.yield : [] { QCoreApplication::processEvents(); };
    logic_ = std::make_unique<PrintListForm>(*this, windows_, std::move(parts));
    print_->logic().events.click = [this] { logic_->printClick(); };
    cancel_->logic().events.click = [this] { logic_->cancelClick(); };
    connect(timer_, &QTimer::timeout, this, [this] { logic_->timerTick(); });

    logic_->load();
    timer_->start();
}

QtPrintList::~QtPrintList() = default;

void QtPrintList::setCaption(const std::u16string& text) {
    setWindowTitle(qs(text));
}

void QtPrintList::setFrameCaption(const std::u16string& text) {
    frame_->setTitle(qs(text));
}

void QtPrintList::setInstruction(const std::u16string& text) {
    instruction_->setText(qs(text));
}

void QtPrintList::setContact(const std::u16string& text) {
    contact_->setText(qs(text));
}

void QtPrintList::setPrintCaption(const std::u16string& text) {
    print_->logic().setCaption(text);
}

void QtPrintList::setCancelCaption(const std::u16string& text) {
    cancel_->logic().setCaption(text);
}

void QtPrintList::setPrintEnabled(bool on) {
    print_->logic().setEnabled(on);
}

double QtPrintList::nameFontSize() {
    return name_->font().pointSizeF();
}

// Qt picks the script from the text itself, so the character set takes no part.
void QtPrintList::setNameFont(const std::u16string& face, std::int16_t,
                              std::optional<std::int16_t> size) {
    QFont font = name_->font();
    font.setFamily(qs(face));
    if (size && *size > 0) font.setPointSize(*size);
    name_->setFont(font);
}

void QtPrintList::setNameText(const std::u16string& text) {
    name_->setText(qs(text));
}

void QtPrintList::clearPrinters() {
    printers_->clear();
}

void QtPrintList::addPrinter(const std::u16string& deviceName) {
    printers_->addItem(qs(deviceName));
}

void QtPrintList::selectPrinter(int index) {
    printers_->setCurrentIndex(index);
}

std::u16string QtPrintList::selectedPrinter() {
    return printers_->currentText().toStdU16String();
}

WindowHandle QtPrintList::handle() {
    return static_cast<WindowHandle>(platform::window::attachWidget(this));
}

void QtPrintList::stopTimer() {
    timer_->stop();
}

void QtPrintList::closeForm() {
    timer_->stop();
    done(QDialog::Accepted);
}

}  // namespace vistrel::forms
