#include "viewer/control/qt_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFrame>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWidget>

namespace vistrel {

namespace {

QString qs(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

// An OLE colour as a Qt colour: the system colours by their palette roles.
QColor colorOf(std::uint32_t ole) {
    if (ole & 0x80000000u) {
        const QPalette palette = QApplication::palette();
        switch (ole & 0xFF) {
            case 5:  // window background
                return palette.color(QPalette::Base);
            case 15:  // button face
                return palette.color(QPalette::Button);
            default:
                return palette.color(QPalette::Window);
        }
    }
    return QColor(ole & 0xFF, (ole >> 8) & 0xFF, (ole >> 16) & 0xFF);
}

// Hands a widget's events to a function (resize, mouse, focus, double-click...).
class EventHook : public QObject {
  public:
    EventHook(QObject* watched, std::function<bool(QEvent*)> handler)
        : QObject(watched), handler_(std::move(handler)) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override { return handler_(event); }

  private:
    std::function<bool(QEvent*)> handler_;
};

// The page picture box: paints the picture's pixels in place, stretched to its own size, only
// where it is exposed. It keeps no copy of the picture (neither a pixmap nor a scaled image), so
// what is on screen holds no more than the picture the viewer keeps alive.
class PageBox : public QWidget {
  public:
    explicit PageBox(QWidget* parent) : QWidget(parent) {}
    void setImage(QImage image) { image_ = std::move(image); }
    const QImage& image() const { return image_; }

  protected:
    void paintEvent(QPaintEvent* event) override {
        if (image_.isNull() || width() <= 0 || height() <= 0) return;
        QPainter painter(this);
        painter.setClipRegion(event->region());
        const QRect target = rect();
        if (target.size() == image_.size()) {
            const QRect exposed = event->rect().intersected(target);
            painter.drawImage(exposed.topLeft(), image_, exposed);
        } else {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(target, image_);
        }
    }

  private:
    QImage image_;
};

class QtWindowView : public WindowView {
  public:
    QtWindowView() {
        root_ = new QWidget;
        root_->setObjectName("Viewer");
        root_->setAutoFillBackground(true);

        area_ = new QWidget(root_);
        area_->setObjectName("picArea");
        picture_ = new PageBox(area_);
        picture_->setObjectName("picDest");
        shape_ = new QFrame(picture_);
        shape_->setObjectName("shapedraw2");
        shape_->setFrameStyle(QFrame::Box | QFrame::Plain);
        shape_->hide();
        measure_ = new QLineEdit(picture_);
        measure_->setObjectName("txtdraw");
        measure_->setReadOnly(true);
        measure_->hide();
        vbar_ = new QScrollBar(Qt::Vertical, root_);
        vbar_->setObjectName("vslPicDest");
        hbar_ = new QScrollBar(Qt::Horizontal, root_);
        hbar_->setObjectName("hslPicDest");
        for (QScrollBar* bar : {vbar_, hbar_}) {
            bar->setRange(0, 0);
            bar->setEnabled(false);
        }

        toolbar_ = new QFrame(root_);
        toolbar_->setObjectName("Frame2");
        toolbar_->setAutoFillBackground(true);
        auto* row = new QHBoxLayout(toolbar_);
        row->setContentsMargins(2, 2, 2, 2);
        const auto button = [&](const char* name, const char* caption) {
            auto* b = new QPushButton(QString::fromUtf8(caption), toolbar_);
            b->setObjectName(name);
            row->addWidget(b);
            return b;
        };
        first_ = button("cmdFirstPage", "|<");
        previous_ = button("cmdPreviousPage", "<");
        pageBox_ = new QLineEdit(toolbar_);
        pageBox_->setObjectName("txtPage");
        pageBox_->setMaximumWidth(48);
        row->addWidget(pageBox_);
        pages_ = new QLabel("/", toolbar_);
        pages_->setObjectName("lblPages");
        row->addWidget(pages_);
        next_ = button("cmdNextPage", ">");
        last_ = button("cmdLastPage", ">|");
        fit_ = button("cmdFit", "Fit");
        zoomIn_ = button("cmdZoomIn", "+");
        zoomOut_ = button("cmdZoomOut", "-");
        slider_ = new QScrollBar(Qt::Horizontal, toolbar_);
        slider_->setObjectName("HSZoom");
        slider_->setRange(0, 32767);
        slider_->setMinimumWidth(120);
        row->addWidget(slider_);
        zoomLabel_ = new QLabel(toolbar_);
        zoomLabel_->setObjectName("lblzoom");
        row->addWidget(zoomLabel_);
        print_ = button("cmdPrintPDF", "Print");
        open_ = button("cmdOpenPDF", "Open");
        save_ = button("cmdSavePDF", "Save");
        saveText_ = button("cmdSavePDFasText", "Save as text");
        button("cmdSaveAsText", "Text");  // no handler: nothing happens
        button("cmdFind", "Find");        // likewise
        button("cmdTest", "Test");        // likewise
        url_ = button("cmdURL", "URL");
        measureToggle_ = button("Command2", "XY");
        printers_ = button("Command4", "Printers");
        check_ = new QCheckBox("XY", toolbar_);
        check_->setObjectName("chkType");
        row->addWidget(check_);
        status_ = new QLabel(toolbar_);
        status_->setObjectName("lblStatus");
        row->addWidget(status_, 1);
    }

    ~QtWindowView() override {
        window_ = nullptr;  // nothing the widgets do while they go reaches the window
        delete root_.data();
    }

    void connect(ViewerWindow& window) override {
        window_ = &window;
        const auto click = [this](QPushButton* b, void (ViewerWindow::*handler)()) {
            QObject::connect(b, &QPushButton::clicked, root_,
                             [this, handler] { send([&](ViewerWindow& w) { (w.*handler)(); }); });
        };
        click(first_, &ViewerWindow::firstPageClick);
        click(previous_, &ViewerWindow::previousPageClick);
        click(next_, &ViewerWindow::nextPageClick);
        click(last_, &ViewerWindow::lastPageClick);
        click(fit_, &ViewerWindow::fitClick);
        click(zoomIn_, &ViewerWindow::zoomInClick);
        click(zoomOut_, &ViewerWindow::zoomOutClick);
        click(print_, &ViewerWindow::printClick);
        click(open_, &ViewerWindow::openClick);
        click(save_, &ViewerWindow::savePdfClick);
        click(saveText_, &ViewerWindow::savePdfAsTextClick);
        click(url_, &ViewerWindow::testPageClick);
        click(measureToggle_, &ViewerWindow::measureTextToggleClick);
        click(printers_, &ViewerWindow::availablePrinterClick);
        QObject::connect(check_, &QCheckBox::toggled, root_,
                         [this](bool on) { send([&](ViewerWindow& w) { w.measureChecked(on); }); });
        QObject::connect(slider_, &QScrollBar::valueChanged, root_, [this](int value) {
            send([&](ViewerWindow& w) { w.zoomSliderChanged(value); });
        });
        QObject::connect(hbar_, &QScrollBar::valueChanged, root_, [this](int value) {
            send([&](ViewerWindow& w) { w.horizontalScrolled(value); });
        });
        QObject::connect(vbar_, &QScrollBar::valueChanged, root_, [this](int value) {
            send([&](ViewerWindow& w) { w.verticalScrolled(value); });
        });
        QObject::connect(pageBox_, &QLineEdit::textEdited, root_, [this](const QString& text) {
            send([&](ViewerWindow& w) { w.pageBoxEdited(text.toStdU16String()); });
        });
        QObject::connect(pageBox_, &QLineEdit::returnPressed, root_,
                         [this] { send([&](ViewerWindow& w) { w.pageBoxLeft(); }); });
        new EventHook(pageBox_, [this](QEvent* event) {
            if (event->type() == QEvent::FocusOut) send([](ViewerWindow& w) { w.pageBoxLeft(); });
            return false;
        });
        new EventHook(root_, [this](QEvent* event) {
            if (event->type() == QEvent::Resize) send([](ViewerWindow& w) { w.resized(); });
            return false;
        });
        new EventHook(picture_, [this](QEvent* event) {
            if (!window_) return false;
            const auto* mouse = dynamic_cast<QMouseEvent*>(event);
            if (!mouse || mouse->button() == Qt::RightButton) return false;
            const QPointF at = mouse->position();
            switch (event->type()) {
                case QEvent::MouseButtonPress:
                    send([&](ViewerWindow& w) { w.pageMouseDown(at.x(), at.y()); });
                    return true;
                case QEvent::MouseMove:
                    send([&](ViewerWindow& w) { w.pageMouseMove(at.x(), at.y()); });
                    return true;
                case QEvent::MouseButtonRelease:
                    send([&](ViewerWindow& w) { w.pageMouseUp(at.x(), at.y()); });
                    return true;
                default:
                    return false;
            }
        });
        // The measured text: a double-click copies it; dragging it with the right button
        // drops it where the button is let go.
        new EventHook(measure_, [this](QEvent* event) {
            if (!window_) return false;
            const auto* mouse = dynamic_cast<QMouseEvent*>(event);
            if (event->type() == QEvent::MouseButtonDblClick) {
                send([](ViewerWindow& w) { w.measureTextDoubleClicked(); });
                return true;
            }
            if (mouse && event->type() == QEvent::MouseButtonRelease &&
                mouse->button() == Qt::RightButton) {
                const QPoint to = measure_->mapToParent(mouse->position().toPoint());
                send([&](ViewerWindow& w) { w.measureTextDropped(to.x(), to.y()); });
                return true;
            }
            return false;
        });
    }

    void* widget() override { return static_cast<QWidget*>(root_.data()); }
    std::int32_t windowHandle() override {
        return root_ ? static_cast<std::int32_t>(root_->winId()) : 0;
    }
    void setBorderStyle(std::int32_t style) override {
        if (root_) root_->setStyleSheet(style == 1 ? "#Viewer { border: 1px solid black; }" : "");
    }
    void setBackgroundColor(std::uint32_t ole) override {
        if (!root_) return;
        QPalette palette = root_->palette();
        palette.setColor(QPalette::Window, colorOf(ole));
        root_->setPalette(palette);
    }
    void setWaitCursor(bool on) override {
        if (!root_) return;
        if (on)
            root_->setCursor(Qt::WaitCursor);
        else
            root_->unsetCursor();
    }

    void setToolbarVisible(bool on) override {
        if (root_) toolbar_->setVisible(on);
    }
    void setZoomSliderVisible(bool on) override {
        if (!root_) return;
        slider_->setVisible(on);
        zoomLabel_->setVisible(on);
    }
    void setZoomSlider(std::int32_t value) override {
        if (!root_) return;
        const QSignalBlocker quiet(slider_);
        slider_->setValue(value);
    }
    void setZoomLabel(const std::u16string& text) override {
        if (root_) zoomLabel_->setText(qs(text));
    }
    void setPageBox(const std::u16string& text) override {
        if (!root_) return;
        const QSignalBlocker quiet(pageBox_);
        pageBox_->setText(qs(text));
    }
    void setPageCountLabel(const std::u16string& text) override {
        if (root_) pages_->setText(qs(text));
    }
    void setStatus(const std::u16string& text) override {
        if (root_) status_->setText(qs(text));
    }

    void setPicture(const platform::imaging::Picture* picture) override {
        if (!picture || picture->width <= 0 || picture->height <= 0) {
            picture_->setImage(QImage());
            return;
        }
        // Read in place: the viewer keeps the picture until it shows the next one.
        picture_->setImage(QImage(reinterpret_cast<const uchar*>(picture->pixels.data()),
                                  picture->width, picture->height, picture->width * 4,
                                  QImage::Format_RGB32));
    }
    void drawPicture(std::int32_t width, std::int32_t height) override {
        if (!root_) return;
        if (picture_->image().isNull() || width <= 0 || height <= 0) {
            picture_->setImage(QImage());
            picture_->resize(0, 0);
        } else {
            picture_->resize(width, height);
        }
        // Shown at once, not at the event loop's next turn: a page reached while the viewer's
        // caller keeps the loop waiting (the run's walk) is on screen as it is reached.
        if (picture_->isVisible())
            picture_->repaint();
        else
            picture_->update();
    }
    void movePicture(std::int32_t left, std::int32_t top) override {
        if (root_) picture_->move(left, top);
    }

    Box innerSize() override { return root_ ? Box{0, 0, root_->width(), root_->height()} : Box{}; }
    std::int32_t verticalBarWidth() override { return root_ ? vbar_->sizeHint().width() : 0; }
    std::int32_t horizontalBarHeight() override { return root_ ? hbar_->sizeHint().height() : 0; }
    void placeParts(const WindowLayout& layout) override {
        if (!root_) return;
        const auto place = [](QWidget* w, const Box& b) {
            w->setGeometry(b.left, b.top, b.width, b.height);
        };
        place(area_, layout.area);
        place(vbar_, layout.verticalBar);
        place(hbar_, layout.horizontalBar);
        toolbar_->setGeometry(0, 0, root_->width(), toolbar_->sizeHint().height());
        toolbar_->raise();
    }
    void setScrollBars(const ScrollLayout& layout) override {
        if (!root_) return;
        hbar_->setMaximum(layout.horizontalMax);
        hbar_->setEnabled(layout.horizontalEnabled);
        vbar_->setMaximum(layout.verticalMax);
        vbar_->setEnabled(layout.verticalEnabled);
    }

    void showMeasureRect(const Box& r) override {
        if (!root_) return;
        shape_->setGeometry(r.left, r.top, r.width, r.height);
        shape_->show();
    }
    void hideMeasureRect() override {
        if (root_) shape_->hide();
    }
    void setMeasureText(const std::u16string& text) override {
        if (!root_) return;
        measure_->setText(qs(text));
        measure_->adjustSize();
    }
    std::u16string measureText() override {
        return root_ ? measure_->text().toStdU16String() : std::u16string();
    }
    void moveMeasureText(std::int32_t left, std::int32_t top) override {
        if (root_) measure_->move(left, top);
    }
    void setMeasureTextVisible(bool on) override {
        if (root_) measure_->setVisible(on);
    }
    bool measureTextVisible() override { return root_ && !measure_->isHidden(); }
    void setClipboardText(const std::u16string& text) override {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(qs(text));
    }

  private:
    // Hands the user's input to the window; nothing it raises leaves into Qt's event loop.
    template <class Handler>
    void send(Handler&& handler) noexcept {
        if (!window_) return;
        try {
            handler(*window_);
        } catch (...) {
        }
    }

    ViewerWindow* window_ = nullptr;
    QPointer<QWidget> root_;
    QWidget* area_;
    PageBox* picture_;
    QFrame* shape_;
    QLineEdit* measure_;
    QScrollBar* vbar_;
    QScrollBar* hbar_;
    QFrame* toolbar_;
    QPushButton *first_, *previous_, *next_, *last_, *fit_, *zoomIn_, *zoomOut_, *print_, *open_,
        *save_, *saveText_, *url_, *measureToggle_, *printers_;
    QLineEdit* pageBox_;
    QLabel* pages_;
    QScrollBar* slider_;
    QLabel* zoomLabel_;
    QCheckBox* check_;
    QLabel* status_;
};

}  // namespace

std::unique_ptr<WindowView> makeQtWindowView() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    return std::make_unique<QtWindowView>();
}

}  // namespace vistrel
