#include "viewer/forms/qt_forms.h"

#include <QCoreApplication>
#include <QCursor>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QShortcut>

#include "platform/window/qt_window.h"
#include "platform/window/virtual_keys.h"
#include "viewer/forms/qt_keys.h"

namespace vistrel::forms {

namespace gdi = platform::gdi;
namespace window = platform::window;

namespace {

QImage imageOf(const gdi::Bitmap& bitmap) {
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_RGB32);
    for (int y = 0; y < bitmap.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.width(); ++x) {
            const gdi::Color c = bitmap.pixel(x, y);
            line[x] = qRgb(gdi::red(c), gdi::green(c), gdi::blue(c));
        }
    }
    return image;
}

short buttonOf(Qt::MouseButtons buttons) {
    short b = 0;
    if (buttons & Qt::LeftButton) b |= 1;
    if (buttons & Qt::RightButton) b |= 2;
    if (buttons & Qt::MiddleButton) b |= 4;
    return b;
}

short shiftOf(Qt::KeyboardModifiers modifiers) {
    short s = 0;
    if (modifiers & Qt::ShiftModifier) s |= 1;
    if (modifiers & Qt::ControlModifier) s |= 2;
    if (modifiers & Qt::AltModifier) s |= 4;
    return s;
}

Qt::KeyboardModifiers modifiersOf(short shift) {
    Qt::KeyboardModifiers m;
    if (shift & 1) m |= Qt::ShiftModifier;
    if (shift & 2) m |= Qt::ControlModifier;
    if (shift & 4) m |= Qt::AltModifier;
    return m;
}

gdi::Rect rectOf(const QWidget* w) {
    const QRect g = w->geometry();
    return {g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
}

}  // namespace

gdi::Font fontFromQt(const QFont& font) {
    return gdi::Font{font.family().toStdU16String(),
                     font.pointSizeF() > 0 ? font.pointSizeF() : 9,
                     font.bold(),
                     font.italic(),
                     font.underline(),
                     0};
}

QFont fontToQt(const gdi::Font& font) {
    QFont f(QString::fromStdU16String(font.face));
    f.setPointSizeF(font.size);
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    return f;
}

QColor colorToQt(gdi::Color c) {
    return QColor(gdi::red(c), gdi::green(c), gdi::blue(c));
}

// ---- the custom button ----

QtXButton::QtXButton(QWidget* parent, const QString& caption) : QWidget(parent) {
    setObjectName(caption);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const window::Hwnd parentWindow = window::attachWidget(parent);
    logic_ = std::make_unique<XButton>(*this, parentWindow, rectOf(this));
    logic_->initNew();
    if (!caption.isEmpty()) logic_->setCaption(caption.toStdU16String());
    window::startTimerPump();
    // A focus move made by the logic (arrow keys) reaches the widget.
    focusListener_ = window::addFocusListener([this](window::Hwnd, window::Hwnd gained) {
        if (gained == logic_->hwnd() && !hasFocus()) setFocus(Qt::OtherFocusReason);
    });
}

QtXButton::~QtXButton() {
    window::removeFocusListener(focusListener_);
}

void QtXButton::setDefault(bool on) {
    default_ = on;
    logic_->paint(logic_->lastState(), true);
}

std::u16string QtXButton::displayName() const {
    return objectName().toStdU16String();
}

gdi::Font QtXButton::ambientFont() const {
    return fontFromQt(parentWidget() ? parentWidget()->font() : font());
}

gdi::Color QtXButton::parentTextColor() const {
    const QColor c =
        (parentWidget() ? parentWidget() : this)->palette().color(QPalette::WindowText);
    return gdi::rgb(c.red(), c.green(), c.blue());
}

gdi::Color QtXButton::parentBackColor() const {
    const QColor c = (parentWidget() ? parentWidget() : this)->palette().color(QPalette::Window);
    return gdi::rgb(c.red(), c.green(), c.blue());
}

gdi::BitmapPtr QtXButton::parentSurface() {
    QWidget* parent = parentWidget();
    if (!parent || parent->width() <= 0 || parent->height() <= 0) return nullptr;
    // The parent's own background, without its children.
    QImage image(parent->size(), QImage::Format_RGB32);
    parent->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    auto bitmap = std::make_shared<gdi::Bitmap>(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            bitmap->setPixel(x, y, gdi::rgb(qRed(p), qGreen(p), qBlue(p)));
        }
    return bitmap;
}

void QtXButton::accessKeyChanged(char16_t key) {
    delete shortcut_;
    shortcut_ = nullptr;
    if (!key || !parentWidget()) return;
    shortcut_ =
        new QShortcut(QKeySequence(Qt::ALT | QChar(key).toUpper().unicode()), parentWidget());
    connect(shortcut_, &QShortcut::activated, this, [this] { logic_->accessKeyPressed(); });
}

void QtXButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, imageOf(logic_->surface()));
}

void QtXButton::surfaceChanged() {
    applyRegion();
    setCursor(logic_->mousePointer() == XButton::kHandPointer ? Qt::PointingHandCursor
                                                              : Qt::ArrowCursor);
    update();
}

// The window's region as the widget's mask, rebuilt only when the region changed.
void QtXButton::applyRegion() {
    const gdi::Region* region = window::windowRegion(logic_->hwnd());
    if (!region) {
        if (shownRegion_) clearMask();
        shownRegion_.reset();
        return;
    }
    if (shownRegion_ && *shownRegion_ == *region) return;
    shownRegion_ = *region;
    QRegion mask;
    const gdi::Rect b = region->bounds();
    for (int y = b.top; y < b.bottom; ++y) {
        int x = b.left;
        while (x < b.right) {
            while (x < b.right && !region->contains(x, y)) ++x;
            const int start = x;
            while (x < b.right && region->contains(x, y)) ++x;
            if (x > start) mask += QRect(start, y, x - start, 1);
        }
    }
    setMask(mask);
}

void QtXButton::resizeEvent(QResizeEvent*) {
    logic_->resize(width(), height());
    applyRegion();
}

void QtXButton::moveEvent(QMoveEvent*) {
    window::moveWindow(logic_->hwnd(), rectOf(this));
}

void QtXButton::showEvent(QShowEvent*) {
    logic_->show();
}
void QtXButton::hideEvent(QHideEvent*) {
    logic_->hide();
}

void QtXButton::mousePressEvent(QMouseEvent* event) {
    window::setCursorPos(
        {event->globalPosition().toPoint().x(), event->globalPosition().toPoint().y()});
    pressedInside_ = event->button() == Qt::LeftButton;
    logic_->mouseDown(buttonOf(event->button()), shiftOf(event->modifiers()),
                      static_cast<float>(event->position().x()),
                      static_cast<float>(event->position().y()));
}

void QtXButton::mouseMoveEvent(QMouseEvent* event) {
    window::setCursorPos(
        {event->globalPosition().toPoint().x(), event->globalPosition().toPoint().y()});
    logic_->mouseMove(buttonOf(event->buttons()), shiftOf(event->modifiers()),
                      static_cast<float>(event->position().x()),
                      static_cast<float>(event->position().y()));
}

void QtXButton::mouseReleaseEvent(QMouseEvent* event) {
    window::setCursorPos(
        {event->globalPosition().toPoint().x(), event->globalPosition().toPoint().y()});
    logic_->mouseUp(buttonOf(event->button()), shiftOf(event->modifiers()),
                    static_cast<float>(event->position().x()),
                    static_cast<float>(event->position().y()));
    const bool inside = rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton && pressedInside_ && inside) logic_->userClick();
    pressedInside_ = false;
}

void QtXButton::mouseDoubleClickEvent(QMouseEvent* event) {
    pressedInside_ = event->button() == Qt::LeftButton;
    logic_->dblClick();
}

void QtXButton::leaveEvent(QEvent*) {
    const QPoint p = QCursor::pos();
    window::setCursorPos({p.x(), p.y()});
}

void QtXButton::keyPressEvent(QKeyEvent* event) {
    const short code = keyCodeOf(*event);
    if (!event->isAutoRepeat() || code != window::VK_SPACE)
        logic_->keyDown(code, shiftOf(event->modifiers()));
    const QString text = typedText(*event);
    if (!text.isEmpty() && text[0].unicode() < 0x80)
        logic_->keyPress(static_cast<short>(text[0].unicode()));
}

void QtXButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    logic_->keyUp(keyCodeOf(*event), shiftOf(event->modifiers()));
}

void QtXButton::focusInEvent(QFocusEvent*) {
    window::setFocus(logic_->hwnd());
}

void QtXButton::focusOutEvent(QFocusEvent*) {
    if (window::focus() == logic_->hwnd()) window::setFocus(0);
}

// ---- the flat text box ----

QtFlatTextBox::QtFlatTextBox(QWidget* parent) : QWidget(parent), inner_(new QPlainTextEdit(this)) {
    inner_->setFrameShape(QFrame::NoFrame);
    inner_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Tab and Shift+Tab move the focus, as in the platform's text box; neither types a tab.
    inner_->setTabChangesFocus(true);
    inner_->installEventFilter(this);
    inner_->viewport()->installEventFilter(this);
    logic_ = std::make_unique<FlatTextBox>(*this, std::max(width(), 4), std::max(height(), 4));
    logic_->onDisplay = [this] { mirror(); };
    // The inner box reports a change only when its text changed: an edit may signal more than
    // once (a line break typed after one that ends the text signals first with the text as
    // it was).
    connect(inner_, &QPlainTextEdit::textChanged, this, [this] {
        const QString now = inner_->toPlainText();
        if (mirroring_ || now == shownText_) return;
        shownText_ = now;
        logic_->text1Changed(now.toStdU16String());
    });
    mirror();
}

QtFlatTextBox::~QtFlatTextBox() {
    logic_->onDisplay = nullptr;
}

void QtFlatTextBox::mirror() {
    const FlatTextBox::TextBox& t = logic_->text1();
    mirroring_ = true;
    const QString text = QString::fromStdU16String(t.text);
    if (inner_->toPlainText() != text) inner_->setPlainText(text);
    shownText_ = inner_->toPlainText();
    mirroring_ = false;
    inner_->setGeometry(t.rect.left, t.rect.top, t.rect.width(), t.rect.height());
    QPalette palette = inner_->palette();
    palette.setColor(QPalette::Base, colorToQt(gdi::oleTranslateColor(t.backColor).value_or(0)));
    palette.setColor(QPalette::Text, colorToQt(gdi::oleTranslateColor(t.foreColor).value_or(0)));
    inner_->setPalette(palette);
    inner_->setEnabled(t.enabled);
    inner_->setReadOnly(t.locked);
    inner_->setFont(fontToQt(t.font));
    update();
}

void QtFlatTextBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, imageOf(logic_->surface()));
}

void QtFlatTextBox::resizeEvent(QResizeEvent*) {
    logic_->resize(width(), height());
}

bool QtFlatTextBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != inner_ && watched != inner_->viewport()) return false;
    if (forwarding_) return false;
    auto& e = logic_->events;
    switch (event->type()) {
        case QEvent::FocusIn:
            logic_->text1GotFocus();
            break;
        case QEvent::FocusOut:
            logic_->text1LostFocus();
            break;
        case QEvent::KeyPress:
            return forwardKeyPress(*static_cast<QKeyEvent*>(event));
        case QEvent::KeyRelease: {
            auto* key = static_cast<QKeyEvent*>(event);
            short code = keyCodeOf(*key);
            short shift = shiftOf(key->modifiers());
            const short given = code;
            if (e.keyUp) e.keyUp(code, shift);
            if (code == 0 && given != 0) return true;  // the host took the key away
            break;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            short button =
                buttonOf(event->type() == QEvent::MouseMove ? mouse->buttons()
                                                            : Qt::MouseButtons(mouse->button()));
            short shift = shiftOf(mouse->modifiers());
            float x = static_cast<float>(mouse->position().x());
            float y = static_cast<float>(mouse->position().y());
            auto& handler = event->type() == QEvent::MouseButtonPress     ? e.mouseDown
                            : event->type() == QEvent::MouseButtonRelease ? e.mouseUp
                                                                          : e.mouseMove;
            const bool left = mouse->button() == Qt::LeftButton;
            const bool inside = inner_->viewport()->rect().contains(mouse->position().toPoint());
            if (event->type() == QEvent::MouseButtonPress && left) leftPressedInside_ = inside;
            if (handler) handler(button, shift, x, y);
            // A click is the left button pressed and released over the text box.
            if (event->type() == QEvent::MouseButtonRelease && left) {
                const bool clicked = leftPressedInside_ && inside;
                leftPressedInside_ = false;
                if (clicked && e.click) e.click();
            }
            break;
        }
        default:
            break;
    }
    return false;
}

// The host sees KeyDown and then KeyPress, each by reference, and the inner text box gets what
// the host left: the key's own action (moving, deleting, shortcuts) under the key code and shift
// state after KeyDown, and the character after KeyPress. A key code of 0 drops the key's action
// but not its character, a character of 0 drops the whole key, as the platform's text box
// does. Unchanged, the original event goes on as it is.
bool QtFlatTextBox::forwardKeyPress(QKeyEvent& key) {
    auto& e = logic_->events;
    const short givenCode = keyCodeOf(key);
    const short givenShift = shiftOf(key.modifiers());
    short code = givenCode, shift = givenShift;
    if (e.keyDown) e.keyDown(code, shift);
    // Tab and Shift+Tab move the focus and type no character, so they raise no KeyPress.
    const QString text = movesFocus(key) ? QString() : typedText(key);
    const bool hasAscii = !text.isEmpty() && text[0].unicode() < 0x80;
    const short givenAscii = hasAscii ? static_cast<short>(text[0].unicode()) : 0;
    short ascii = givenAscii;
    if (hasAscii && e.keyPress) e.keyPress(ascii);
    if (hasAscii && ascii == 0) return true;  // the host took the character away
    const bool keyChanged = code != givenCode || shift != givenShift;
    // Tab and Shift+Tab go on without their character, which the inner box would type when no
    // other control takes the focus.
    if (!keyChanged && ascii == givenAscii && !movesFocus(key)) return false;
    forwarding_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{forwarding_};

    // The key's action, without its character.
    if (code != 0) {
        const int qtKey = keyChanged ? qtKeyOf(code) : key.key();
        const auto modifiers = keyChanged
                                   ? modifiersOf(shift) | (key.modifiers() & Qt::KeypadModifier)
                                   : key.modifiers();
        if (qtKey != Qt::Key_unknown) {
            QKeyEvent action(QEvent::KeyPress, qtKey, modifiers, QString(), key.isAutoRepeat());
            QCoreApplication::sendEvent(inner_, &action);
        }
    }
    // The character: a control character as its own key, any other as text.
    QString character = hasAscii ? QString(QChar(ascii)) : text;
    if (hasAscii && ascii != givenAscii && ascii < 0x20) {
        // A tab given as the character is typed; only the Tab key moves the focus.
        const int qtKey = ascii == 8    ? Qt::Key_Backspace
                          : ascii == 13 ? Qt::Key_Return
                          : ascii == 9  ? Qt::Key_unknown
                                        : -1;
        if (qtKey != -1) {
            QKeyEvent control(QEvent::KeyPress, qtKey, Qt::NoModifier,
                              qtKey == Qt::Key_unknown ? QStringLiteral("\t") : QString());
            QCoreApplication::sendEvent(inner_, &control);
        }
    } else if (!character.isEmpty() && character[0].unicode() >= 0x20 &&
               character[0].unicode() != 0x7F) {
        QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, character);
        QCoreApplication::sendEvent(inner_, &typed);
    }
    return true;
}

}  // namespace vistrel::forms
