// The Qt-only references of the benchmarks, each in a process of its own as the real server is,
// so the benchmark reads their processor time and peak memory from outside exactly as it reads
// the server's.
//
//   tessel-bench-qt echo
//       A QTcpServer on a free loopback port that sends every byte back as it comes: read through
//       QTcpSocket in Qt's event loop and sent as the server sends its replies (straight to the
//       system while nothing is queued), the socket layer the server is built on. Prints the
//       port on a line of its own, then serves until its input closes.
//   tessel-bench-qt issue FILE...
//       Loads the page image files, prints "ready", then for each line "N OUTPUT" on its input
//       decodes N pages (the files by turns) and writes them to OUTPUT as one PDF fitted to A4,
//       as the PDF printer does, and answers "ok" (or "failed"). Ends at the end of its input.
//       Its heap is kept as the server keeps its own: the same largest reused block and the same
//       freed memory held from one issue to the next.
//   tessel-bench-qt pages FOLDER
//       Writes the issue benchmarks' ten page files into FOLDER (page0.png, page1.jpg, ...), for
//       driving either side by hand or under a profiler.
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QHostAddress>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/page_images.h"
#include "platform/system/memory.h"
#include "server/config.h"

namespace {

int echo(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) return 1;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            // Read through Qt; sent straight to the system while nothing is queued, and
            // through Qt's queue otherwise, as the server sends its replies.
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                const QByteArray bytes = socket->readAll();
                qsizetype sent = 0;
                if (socket->bytesToWrite() == 0) {
                    const int fd = static_cast<int>(socket->socketDescriptor());
                    for (ssize_t n; sent < bytes.size(); sent += n)
                        if ((n = ::send(fd, bytes.constData() + sent,
                                        static_cast<std::size_t>(bytes.size() - sent),
                                        MSG_NOSIGNAL | MSG_DONTWAIT)) <= 0)
                            break;
                }
                if (sent < bytes.size())
                    socket->write(bytes.constData() + sent, bytes.size() - sent);
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    // Ends when its input closes, as it does when the benchmark program ends however it ends.
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&app] {
        char c;
        if (::read(0, &c, 1) <= 0) app.quit();
    });
    std::printf("%d\n", server.serverPort());
    std::fflush(stdout);
    return app.exec();
}

// Decodes `pages` pages (the files by turns) and writes them to `output` as the PDF printer
// does: A4 at 300 dpi with the whole sheet printable, each page fitted to it from the top-left
// corner.
bool issue(const std::vector<QByteArray>& files, int pages, const QString& output) {
    QPdfWriter writer(output);
    writer.setResolution(300);
    writer.setCreator(QStringLiteral("Tessel"));
    QPainter painter;
    for (int page = 0; page < pages; ++page) {
        QImage image;
        if (!image.loadFromData(files[static_cast<std::size_t>(page) % files.size()])) return false;
        const QPageLayout layout(
            QPageSize(QPageSize::A4),
            image.height() >= image.width() ? QPageLayout::Portrait : QPageLayout::Landscape,
            QMarginsF(0, 0, 0, 0));
        writer.setPageLayout(layout);
        if (page == 0 ? !painter.begin(&writer) : !writer.newPage()) return false;
        const QRectF area(QPointF(0, 0), layout.fullRectPixels(writer.resolution()).size());
        QSizeF fitted = image.size().toSizeF().scaled(area.size(), Qt::KeepAspectRatio);
        painter.drawImage(QRectF(QPointF(0, 0), fitted), image);
    }
    return painter.end();
}

int issues(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    platform::system::keepFreedMemory(tessel::server::kLargestHeapBlock,
                                      tessel::server::kFreeMemoryReserve);
    std::vector<QByteArray> files;
    for (int i = 2; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) return 1;
        files.push_back(file.readAll());
    }
    if (files.empty()) return 1;
    std::cout << "ready" << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream fields(line);
        int pages = 0;
        std::string output;
        fields >> pages >> output;
        // What the server does at an issue's set-up.
        platform::system::releaseFreeMemory(tessel::server::kFreeMemoryReserve);
        const bool ok = pages > 0 && issue(files, pages, QString::fromStdString(output));
        std::cout << (ok ? "ok" : "failed") << std::endl;
    }
    return 0;
}

int pages(int argc, char** argv) {
    if (argc != 3) return 2;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const auto& files = tessel::bench::pageFiles();
    for (std::size_t page = 0; page < files.size(); ++page) {
        QFile file(folder + QLatin1Char('/') +
                   QString::fromStdString(tessel::bench::pageFileName(static_cast<int>(page))));
        if (!file.open(QIODevice::WriteOnly) || file.write(files[page]) != files[page].size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "echo") return echo(argc, argv);
    if (mode == "issue") return issues(argc, argv);
    if (mode == "pages") return pages(argc, argv);
    std::fprintf(stderr, "usage: tessel-bench-qt echo | issue FILE... | pages FOLDER\n");
    return 2;
}
