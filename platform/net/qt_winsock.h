// SocketArray over QTcpServer and QTcpSocket, on the thread that runs the Qt event loop.
#pragma once

#include <QObject>
#include <QPointer>
#include <map>
#include <memory>

#include "platform/net/winsock.h"

class QTcpServer;
class QTcpSocket;

namespace platform::net {

class QtSocketArray : public QObject, public SocketArray {
  public:
    explicit QtSocketArray(QObject* parent = nullptr);
    ~QtSocketArray() override;

    void setEvents(SocketEvents* events) override { events_ = events; }
    bool Load(int index) override;
    void Unload(int index) override;
    bool exists(int index) const override;
    int Listen(int index, const std::u16string& localIp, int port) override;
    int Accept(int index, long requestID) override;
    void Close(int index) override;
    int State(int index) const override;
    bool PeerGone(int index) const override;
    std::string GetData(int index) override;
    int SendData(int index, std::string_view bytes) override;
    std::u16string LocalIP(int index) const override;
    int LocalPort(int index) const override;
    std::u16string RemoteHostIP(int index) const override;

  private:
    struct Element {
        QPointer<QTcpSocket> socket;
        bool peerClosed = false;
    };

    void onNewConnection();
    void attach(int index, QTcpSocket* socket);
    void dropSocket(QTcpSocket* socket);

    SocketEvents* events_ = nullptr;
    QTcpServer* server_ = nullptr;
    std::map<int, Element> elements_;  // index >= 1
    std::map<long, QPointer<QTcpSocket>> pending_;
    long nextRequest_ = 1;
};

// The control's error number for a Qt socket error.
int winsockError(int qtSocketError);

}  // namespace platform::net
