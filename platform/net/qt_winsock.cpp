#include "platform/net/qt_winsock.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace platform::net {

namespace {
// True when the peer has closed its end and everything it sent has been read, though Qt has
// not noticed yet: its close event is on the way, and asking now already tells.
bool peerHasClosed(const QTcpSocket& socket) {
    if (socket.bytesAvailable() > 0) return false;
    qintptr fd = socket.socketDescriptor();
    if (fd < 0) return false;
    char c;
    ssize_t n = ::recv(static_cast<int>(fd), &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) return true;
    return n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
}
}  // namespace

namespace {
constexpr qint64 kReadAhead = 1024 * 1024;
}  // namespace

int winsockError(int qtSocketError) {
    switch (static_cast<QAbstractSocket::SocketError>(qtSocketError)) {
        case QAbstractSocket::ConnectionRefusedError:
            return sckConnectionRefused;
        case QAbstractSocket::RemoteHostClosedError:
            return sckConnectAborted;
        case QAbstractSocket::HostNotFoundError:
            return sckHostNotFound;
        case QAbstractSocket::SocketAccessError:
            return sckAccessDenied;
        case QAbstractSocket::SocketTimeoutError:
            return sckTimedout;
        case QAbstractSocket::NetworkError:
            return sckNetworkUnreachable;
        case QAbstractSocket::AddressInUseError:
            return sckAddressInUse;
        case QAbstractSocket::SocketAddressNotAvailableError:
            return sckAddressNotAvailable;
        default:
            return sckUnknownError;
    }
}

QtSocketArray::QtSocketArray(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &QtSocketArray::onNewConnection);
}

QtSocketArray::~QtSocketArray() {
    events_ = nullptr;
    for (auto& [index, element] : elements_)
        if (element.socket) element.socket->abort();
}

bool QtSocketArray::Load(int index) {
    if (index <= 0 || elements_.count(index)) return false;
    elements_[index] = Element{};
    return true;
}

void QtSocketArray::Unload(int index) {
    if (index <= 0) return;
    Close(index);
    elements_.erase(index);
}

bool QtSocketArray::exists(int index) const {
    return index == 0 || elements_.count(index) > 0;
}

int QtSocketArray::Listen(int index, const std::u16string& localIp, int port) {
    if (index != 0) return sckInvalidOp;
    if (server_->isListening()) return sckInvalidOp;
    QHostAddress address;
    if (localIp.empty())
        address = QHostAddress::Any;
    else if (!address.setAddress(QString::fromStdU16String(localIp)))
        return sckAddressNotAvailable;
    if (port < 0 || port > 65535) return sckInvalidOp;
    if (server_->listen(address, static_cast<quint16>(port))) return 0;
    return winsockError(server_->serverError());
}

void QtSocketArray::onNewConnection() {
    while (server_->hasPendingConnections()) {
        QTcpSocket* socket = server_->nextPendingConnection();
        if (!socket) break;
        long id = nextRequest_++;
        pending_[id] = socket;
        if (events_) events_->ConnectionRequest(0, id);
        auto it = pending_.find(id);
        if (it != pending_.end()) {
            // Not accepted: refused.
            QPointer<QTcpSocket> refused = it->second;
            pending_.erase(it);
            if (refused) {
                refused->abort();
                refused->deleteLater();
            }
        }
    }
}

void QtSocketArray::attach(int index, QTcpSocket* socket) {
    elements_[index] = Element{socket, false};
    // Qt reads ahead of the program only this far; the rest waits in the system's socket
    // buffer, so a client sending faster than its frames are handled does not pile up here.
    socket->setReadBufferSize(kReadAhead);
    QPointer<QTcpSocket> guard(socket);
    auto indexOf = [this](const QPointer<QTcpSocket>& s) -> int {
        if (!s) return -1;
        for (const auto& [i, element] : elements_)
            if (element.socket == s) return i;
        return -1;
    };
    // Delivered at once, from the socket's own notification. channelReadyRead, unlike
    // readyRead, is also emitted while an earlier delivery is still under way, so a handler
    // that runs a nested event loop (a run waiting for its printer) still hears the requests
    // that come in meanwhile.
    connect(socket, &QTcpSocket::channelReadyRead, this, [this, guard, indexOf](int) {
        int index = indexOf(guard);
        if (index < 0 || !events_) return;
        qint64 waiting = guard->bytesAvailable();
        if (waiting > 0) events_->DataArrival(index, static_cast<long>(waiting));
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, guard, indexOf] {
        QMetaObject::invokeMethod(
            this,
            [this, guard, indexOf] {
                int index = indexOf(guard);
                if (index < 0) return;
                elements_[index].peerClosed = true;
                if (events_) events_->Close(index);
            },
            Qt::QueuedConnection);
    });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, guard, indexOf](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::RemoteHostClosedError) return;  // Close follows
                QString description = guard ? guard->errorString() : QString();
                QMetaObject::invokeMethod(
                    this,
                    [this, guard, indexOf, error, description] {
                        int index = indexOf(guard);
                        if (index < 0 || !events_) return;
                        events_->Error(index, winsockError(error), description.toStdU16String());
                    },
                    Qt::QueuedConnection);
            });
}

int QtSocketArray::Accept(int index, long requestID) {
    auto it = pending_.find(requestID);
    if (index <= 0 || it == pending_.end() || !it->second) return sckInvalidOp;
    QTcpSocket* socket = it->second;
    pending_.erase(it);
    if (!elements_.count(index)) Load(index);
    if (elements_[index].socket) Close(index);
    attach(index, socket);
    return 0;
}

void QtSocketArray::dropSocket(QTcpSocket* socket) {
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    // Let queued replies go out before the connection ends.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
}

void QtSocketArray::Close(int index) {
    if (index == 0) {
        server_->close();
        return;
    }
    auto it = elements_.find(index);
    if (it == elements_.end()) return;
    if (QTcpSocket* socket = it->second.socket) dropSocket(socket);
    it->second = Element{};
}

bool QtSocketArray::PeerGone(int index) const {
    auto it = elements_.find(index);
    if (it == elements_.end() || !it->second.socket) return false;
    if (it->second.peerClosed) return true;
    const qintptr fd = it->second.socket->socketDescriptor();
    if (fd < 0) return false;
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_INFO, &info, &length) != 0)
        return State(index) == sckClosing;
    return info.tcpi_state == TCP_CLOSE_WAIT || info.tcpi_state == TCP_LAST_ACK ||
           info.tcpi_state == TCP_CLOSE;
}

int QtSocketArray::State(int index) const {
    if (index == 0) return server_->isListening() ? sckListening : sckClosed;
    auto it = elements_.find(index);
    if (it == elements_.end() || !it->second.socket) return sckClosed;
    if (it->second.peerClosed) return sckClosing;
    switch (it->second.socket->state()) {
        case QAbstractSocket::ConnectedState:
            return peerHasClosed(*it->second.socket) ? sckClosing : sckConnected;
        case QAbstractSocket::ClosingState:
            return sckClosing;
        default:
            return sckClosed;
    }
}

std::string QtSocketArray::GetData(int index) {
    auto it = elements_.find(index);
    if (it == elements_.end() || !it->second.socket) return {};
    // Straight from the socket's buffer into the text handed out.
    QTcpSocket& socket = *it->second.socket;
    std::string data(static_cast<std::size_t>(std::max<qint64>(socket.bytesAvailable(), 0)), '\0');
    const qint64 read = socket.read(data.data(), static_cast<qint64>(data.size()));
    data.resize(static_cast<std::size_t>(std::max<qint64>(read, 0)));
    return data;
}

int QtSocketArray::SendData(int index, std::string_view bytes) {
    auto it = elements_.find(index);
    if (it == elements_.end() || !it->second.socket ||
        it->second.socket->state() != QAbstractSocket::ConnectedState)
        return sckInvalidOp;
    QTcpSocket* socket = it->second.socket;
    // With nothing of an earlier reply still queued, the bytes go straight to the system: a
    // reply leaves while its request's handler still runs, and Qt's write notification (and the
    // event loop's wake-ups for turning it on and off) is needed only for what the system does
    // not take at once. Those bytes, or all of them after a failure, go through Qt's queue, which
    // sends them in order and reports the failure as before.
    std::size_t sent = 0;
    const qintptr fd = socket->socketDescriptor();
    if (fd >= 0 && socket->bytesToWrite() == 0) {
        while (sent < bytes.size()) {
            const ssize_t n = ::send(static_cast<int>(fd), bytes.data() + sent, bytes.size() - sent,
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                break;
            }
        }
    }
    if (sent == bytes.size()) return 0;
    const qint64 rest = static_cast<qint64>(bytes.size() - sent);
    const qint64 written = socket->write(bytes.data() + sent, rest);
    socket->flush();
    return written == rest ? 0 : sckUnknownError;
}

std::u16string QtSocketArray::LocalIP(int index) const {
    if (index == 0) return server_->serverAddress().toString().toStdU16String();
    auto it = elements_.find(index);
    if (it == elements_.end() || !it->second.socket) return {};
    return it->second.socket->localAddress().toString().toStdU16String();
}

int QtSocketArray::LocalPort(int index) const {
    if (index == 0) return server_->serverPort();
    auto it = elements_.find(index);
    if (it == elements_.end() || !it->second.socket) return 0;
    return it->second.socket->localPort();
}

std::u16string QtSocketArray::RemoteHostIP(int index) const {
    auto it = elements_.find(index);
    if (it == elements_.end() || !it->second.socket) return {};
    return it->second.socket->peerAddress().toString().toStdU16String();
}

}  // namespace platform::net
