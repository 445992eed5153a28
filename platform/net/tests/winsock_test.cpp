// The Winsock array over real loopback sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/net/qt_winsock.h"

using namespace platform::net;

namespace {

struct Recorder : SocketEvents {
    void ConnectionRequest(int index, long requestID) override {
        requests.push_back(requestID);
        if (accept) array->Accept(1, requestID);
    }
    void DataArrival(int index, long bytesTotal) override {
        data += array->GetData(index);
        ++arrivals;
    }
    void Close(int index) override {
        closedIndex = index;
        stateAtClose = array->State(index);
    }
    void Error(int index, int number, const std::u16string&) override { errors.push_back(number); }

    SocketArray* array = nullptr;
    bool accept = true;
    std::vector<long> requests;
    std::string data;
    int arrivals = 0;
    int closedIndex = -1;
    int stateAtClose = -1;
    std::vector<int> errors;
};

bool pump(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (done()) return true;
        if (t.elapsed() >= ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

int connectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

class Winsock : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "net_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    }
    Winsock() {
        array.setEvents(&events);
        events.array = &array;
    }
    QtSocketArray array;
    Recorder events;
};

}  // namespace

TEST_F(Winsock, ListenErrorsUseTheControlsNumbers) {
    EXPECT_EQ(array.Listen(0, u"192.0.2.1", 0), sckAddressNotAvailable);
    EXPECT_EQ(array.Listen(0, u"not an address", 0), sckAddressNotAvailable);
    EXPECT_EQ(array.State(0), sckClosed);
    ASSERT_EQ(array.Listen(0, u"127.0.0.1", 0), 0);
    EXPECT_EQ(array.State(0), sckListening);
    EXPECT_EQ(array.LocalIP(0), u"127.0.0.1");
    int port = array.LocalPort(0);
    EXPECT_GT(port, 0);

    QtSocketArray other;
    EXPECT_EQ(other.Listen(0, u"127.0.0.1", port), sckAddressInUse);
    array.Close(0);
    EXPECT_EQ(array.State(0), sckClosed);
    EXPECT_EQ(other.Listen(0, u"127.0.0.1", port), 0);
}

TEST_F(Winsock, AcceptReceiveSendAndPeerClose) {
    ASSERT_EQ(array.Listen(0, u"127.0.0.1", 0), 0);
    int fd = connectTo(array.LocalPort(0));
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(pump([&] { return !events.requests.empty(); }));
    EXPECT_EQ(array.State(1), sckConnected);
    EXPECT_EQ(array.RemoteHostIP(1), u"127.0.0.1");

    ASSERT_EQ(write(fd, "hello", 5), 5);
    ASSERT_TRUE(pump([&] { return events.data == "hello"; }));
    EXPECT_EQ(array.SendData(1, "world"), 0);
    char buf[16] = {};
    ASSERT_TRUE(pump([&] { return recv(fd, buf, sizeof buf, MSG_DONTWAIT) == 5; }));
    EXPECT_STREQ(buf, "world");

    close(fd);
    ASSERT_TRUE(pump([&] { return events.closedIndex == 1; }));
    EXPECT_EQ(events.stateAtClose, sckClosing);
    array.Unload(1);
    EXPECT_FALSE(array.exists(1));
    EXPECT_EQ(array.State(1), sckClosed);
}

TEST_F(Winsock, APeerCloseShowsInTheStateBeforeItsEvent) {
    ASSERT_EQ(array.Listen(0, u"127.0.0.1", 0), 0);
    for (const char* last : {"", "x"}) {
        events.closedIndex = -1;
        events.data.clear();
        int fd = connectTo(array.LocalPort(0));
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(pump([&] { return array.State(1) == sckConnected; }));
        std::size_t size = std::strlen(last);
        ASSERT_EQ(write(fd, last, size), static_cast<ssize_t>(size));
        close(fd);
        if (size == 0) {
            // No events run here: only the state can tell.
            QElapsedTimer t;
            t.start();
            while (array.State(1) != sckClosing && t.elapsed() < 5000) std::this_thread::yield();
            EXPECT_EQ(array.State(1), sckClosing);
        } else {
            // Bytes still to be read keep the connection up until they are; that the peer is
            // gone is known all the same.
            QElapsedTimer t;
            t.start();
            while (!array.PeerGone(1) && t.elapsed() < 5000) std::this_thread::yield();
            EXPECT_TRUE(array.PeerGone(1));
            EXPECT_EQ(array.State(1), sckConnected);
        }
        ASSERT_TRUE(pump([&] { return events.closedIndex == 1; })) << last;
        EXPECT_EQ(events.data, last);
        EXPECT_EQ(events.stateAtClose, sckClosing);
        array.Unload(1);
    }
}

TEST_F(Winsock, AnUnacceptedRequestIsClosed) {
    events.accept = false;
    ASSERT_EQ(array.Listen(0, u"127.0.0.1", 0), 0);
    int fd = connectTo(array.LocalPort(0));
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(pump([&] { return !events.requests.empty(); }));
    char c;
    EXPECT_EQ(recv(fd, &c, 1, 0), 0);  // end of stream
    close(fd);
    EXPECT_FALSE(array.exists(1));
}

TEST_F(Winsock, ClosingOurSideDeliversQueuedBytesFirst) {
    ASSERT_EQ(array.Listen(0, u"127.0.0.1", 0), 0);
    int fd = connectTo(array.LocalPort(0));
    ASSERT_TRUE(pump([&] { return !events.requests.empty(); }));
    std::string big(1 << 20, 'x');
    EXPECT_EQ(array.SendData(1, big), 0);
    array.Unload(1);
    std::string got;
    char buf[65536];
    for (;;) {
        QCoreApplication::processEvents();
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0) break;
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        if (got.size() > big.size()) break;
    }
    close(fd);
    EXPECT_EQ(got.size(), big.size());
}
