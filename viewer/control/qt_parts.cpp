#include "viewer/control/qt_parts.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

#include "platform/spooler/spooler.h"
#include "viewer/control/qt_window.h"

namespace vistrel {

namespace {

QString qs(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

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

ViewerParts qtViewerParts(PrinterChooser chooser) {
    ViewerParts parts = windowParts(makeQtWindowView);
    parts.yield = [] {
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
    };
    // While the print server is asked, the host's event loop keeps turning.
    platform::spooler::setWaitHook(parts.yield);
    parts.downloader = std::make_shared<QtDownloader>();
    parts.chooser = std::move(chooser);
    return parts;
}

}  // namespace vistrel
