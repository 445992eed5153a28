#include "viewer/control/qt_parts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/text/text.h"
#include "viewer/dialog/qt_select_printer.h"

namespace vistrel {

namespace {

namespace text = platform::text;

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

class ViewerWidget : public QWidget {
  public:
    ViewerWidget() {
        setObjectName("Viewer");
        setAutoFillBackground(true);
        auto* column = new QVBoxLayout(this);
        auto* bar = new QHBoxLayout;
        pageBox = new QLineEdit(this);
        pageBox->setObjectName("txtPage");
        pages = new QLabel("/", this);
        pages->setObjectName("lblPages");
        zoom = new QSlider(Qt::Horizontal, this);
        zoom->setObjectName("HSZoom");
        zoom->setRange(1, 1000);
        zoomLabel = new QLabel(this);
        zoomLabel->setObjectName("lblzoom");
        bar->addWidget(pageBox);
        bar->addWidget(pages);
        bar->addWidget(zoom);
        bar->addWidget(zoomLabel);
        bar->addStretch();
        column->addLayout(bar);
        area = new QScrollArea(this);
        area->setObjectName("picArea");
        picture = new QLabel;
        picture->setObjectName("picDest");
        area->setWidget(picture);
        column->addWidget(area, 1);
        status = new QLabel(this);
        status->setObjectName("lblStatus");
        column->addWidget(status);
    }
    QLineEdit* pageBox;
    QLabel* pages;
    QSlider* zoom;
    QLabel* zoomLabel;
    QScrollArea* area;
    QLabel* picture;
    QLabel* status;
};

// Shows page pictures on the face that exists when they come.
class QtPages : public PageDisplay {
  public:
    void attach(ViewerWidget* widget) { widget_ = widget; }
    void showPicture(const platform::imaging::Picture* picture,
                     const std::u16string& status) override {
        if (!widget_) return;
        if (picture) {
            const QImage image(reinterpret_cast<const uchar*>(picture->pixels.data()),
                               picture->width, picture->height, picture->width * 4,
                               QImage::Format_RGB32);
            widget_->picture->setPixmap(QPixmap::fromImage(image));
        } else {
            widget_->picture->clear();
        }
        widget_->picture->adjustSize();
        widget_->status->setText(qs(status));
    }

  private:
    QPointer<ViewerWidget> widget_;
};

class QtFace : public ViewerFace {
  public:
    explicit QtFace(const std::shared_ptr<QtPages>& pages) : widget_(new ViewerWidget) {
        pages->attach(widget_.data());
    }
    ~QtFace() override { delete widget_.data(); }

    void* widget() override { return static_cast<QWidget*>(widget_.data()); }
    std::int32_t windowHandle() override {
        return widget_ ? static_cast<std::int32_t>(widget_->winId()) : 0;
    }
    void setBorderStyle(std::int32_t style) override {
        if (widget_)
            widget_->setStyleSheet(style == 1 ? "#Viewer { border: 1px solid black; }" : "");
    }
    void setBackgroundColor(std::uint32_t ole) override {
        if (!widget_) return;
        QPalette palette = widget_->palette();
        palette.setColor(QPalette::Window, colorOf(ole));
        widget_->setPalette(palette);
    }
    void setZoomSlider(std::int32_t value) override {
        if (widget_) widget_->zoom->setValue(value);
    }
    void setPageBox(const std::u16string& s) override {
        if (widget_) widget_->pageBox->setText(qs(s));
    }
    void setPageCountLabel(const std::u16string& s) override {
        if (widget_) widget_->pages->setText(qs(s));
    }
    void setDefaultCursor() override {
        if (widget_) widget_->unsetCursor();
    }
    void reset() override {
        if (!widget_) return;
        widget_->zoom->setValue(200);
        widget_->zoomLabel->setText("200");
        widget_->zoom->hide();
        widget_->zoomLabel->hide();
    }

  private:
    QPointer<ViewerWidget> widget_;
};

class QtDownloader : public Downloader {
  public:
    ~QtDownloader() override {
        // Replies still running report to nobody once the viewer is gone.
        for (auto& reply : replies_)
            if (reply) {
                reply->disconnect();
                reply->abort();
            }
    }

    bool start(const std::u16string& url, Progress progress, Done done) override {
        if (!QCoreApplication::instance()) return false;
        const QUrl address(qs(url));
        if (!address.isValid() || address.scheme().isEmpty()) return false;
        if (!manager_) manager_ = std::make_unique<QNetworkAccessManager>();
        QNetworkRequest request(address);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        QNetworkReply* reply = manager_->get(request);
        if (!reply) return false;
        replies_.emplace_back(reply);
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                         [progress](qint64 received, qint64 total) {
                             if (progress) progress(received, total < 0 ? 0 : total);
                         });
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done] {
            const bool ok = reply->error() == QNetworkReply::NoError;
            const QByteArray data = reply->readAll();
            reply->deleteLater();
            if (done) done(ok, std::vector<std::uint8_t>(data.begin(), data.end()));
        });
        return true;
    }

  private:
    std::unique_ptr<QNetworkAccessManager> manager_;
    std::vector<QPointer<QNetworkReply>> replies_;
};

}  // namespace

ViewerParts qtViewerParts() {
    ViewerParts parts;
    auto pages = std::make_shared<QtPages>();
    parts.face = [pages]() -> std::unique_ptr<ViewerFace> {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
        return std::make_unique<QtFace>(pages);
    };
    parts.pages = pages;
    parts.yield = [] {
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
    };
    parts.downloader = std::make_shared<QtDownloader>();
    parts.chooser = dialog::qtPrinterChooser();
    return parts;
}

}  // namespace vistrel
