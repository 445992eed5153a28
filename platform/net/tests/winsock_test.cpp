// The Winsock array over real loopback sockets.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/net/qt_winsock.h"
#include "platform/testing/loopback_client.h"
#include "platform/testing/wait.h"

using namespace platform::net;
using platform::testing::LoopbackClient;

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

// Runs the event loop until `done` holds, for at most `limit`.
bool pump(const std::function<bool()>& done,
          std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    return platform::testing::waitFor(
        done, limit, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

// Waits for what another thread of the socket layer makes true, running no events meanwhile.
bool spin(const std::function<bool()>& done) {
    return platform::testing::waitFor(done, std::chrono::milliseconds(5000),
                                      [] { std::this_thread::yield(); });
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
    LoopbackClient client(array.LocalPort(0));
    ASSERT_TRUE(client.connected());
    const int fd = client.fd();
    ASSERT_TRUE(pump([&] { return !events.requests.empty(); }));
    EXPECT_EQ(array.State(1), sckConnected);
    EXPECT_EQ(array.RemoteHostIP(1), u"127.0.0.1");

    ASSERT_EQ(write(fd, "hello", 5), 5);
    ASSERT_TRUE(pump([&] { return events.data == "hello"; }));
    EXPECT_EQ(array.SendData(1, "world"), 0);
    char buf[16] = {};
    ASSERT_TRUE(pump([&] { return recv(fd, buf, sizeof buf, MSG_DONTWAIT) == 5; }));
    EXPECT_STREQ(buf, "world");

    client.closeNow();
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
        LoopbackClient client(array.LocalPort(0));
        ASSERT_TRUE(client.connected());
        const int fd = client.fd();
        ASSERT_TRUE(pump([&] { return array.State(1) == sckConnected; }));
        std::size_t size = std::strlen(last);
        ASSERT_EQ(write(fd, last, size), static_cast<ssize_t>(size));
        client.closeNow();
        if (size == 0) {
            // No events run here: only the state can tell.
            spin([&] { return array.State(1) == sckClosing; });
            EXPECT_EQ(array.State(1), sckClosing);
        } else {
            // Bytes still to be read keep the connection up until they are; that the peer is
            // gone is known all the same.
            spin([&] { return array.PeerGone(1); });
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
    LoopbackClient client(array.LocalPort(0));
    ASSERT_TRUE(client.connected());
    const int fd = client.fd();
    ASSERT_TRUE(pump([&] { return !events.requests.empty(); }));
    char c;
    EXPECT_EQ(recv(fd, &c, 1, 0), 0);  // end of stream
    client.closeNow();
    EXPECT_FALSE(array.exists(1));
}

TEST_F(Winsock, ClosingOurSideDeliversQueuedBytesFirst) {
    ASSERT_EQ(array.Listen(0, u"127.0.0.1", 0), 0);
    LoopbackClient client(array.LocalPort(0));
    const int fd = client.fd();
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
    client.closeNow();
    EXPECT_EQ(got.size(), big.size());
}

// A reply the system does not take at once is finished from Qt's queue, and a reply written
// while one is still queued waits behind it: the peer reads every byte, in the order sent.
TEST_F(Winsock, LargeRepliesArriveWholeAndInOrder) {
    ASSERT_EQ(array.Listen(0, u"127.0.0.1", 0), 0);
    LoopbackClient client(array.LocalPort(0));
    const int fd = client.fd();
    ASSERT_TRUE(pump([&] { return !events.requests.empty(); }));
    std::string expected;
    for (int reply = 0; reply < 3; ++reply) {
        std::string bytes(3 << 20, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 131 + static_cast<std::size_t>(reply) * 7) >> 3);
        EXPECT_EQ(array.SendData(1, bytes), 0);
        expected += bytes;
    }
    std::string got;
    char buf[65536];
    ASSERT_TRUE(pump(
        [&] {
            ssize_t n;
            while ((n = recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0)
                got.append(buf, static_cast<std::size_t>(n));
            return got.size() >= expected.size();
        },
        std::chrono::milliseconds(20000)));
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
}
