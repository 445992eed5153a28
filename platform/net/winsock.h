// The Winsock control's semantics, as a control array of TCP sockets: element 0 listens, the
// others carry accepted connections. The program sees the control's events (connection
// request, data arrival, close, error) through SocketEvents and drives the elements by index.
//
// State numbers and error numbers are the control's own (sckConnected = 7, sckAddressInUse =
// 10048, ...): callers log and compare them as numbers, and the log shows them so.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::net {

enum SocketState : int {
    sckClosed = 0,
    sckOpen = 1,
    sckListening = 2,
    sckConnectionPending = 3,
    sckResolvingHost = 4,
    sckHostResolved = 5,
    sckConnecting = 6,
    sckConnected = 7,
    sckClosing = 8,
    sckError = 9,
};

enum SocketError : int {
    sckInvalidOp = 40020,
    sckAddressInUse = 10048,
    sckAddressNotAvailable = 10049,
    sckNetworkUnreachable = 10051,
    sckConnectAborted = 10053,
    sckConnectionReset = 10054,
    sckTimedout = 10060,
    sckConnectionRefused = 10061,
    sckHostNotFound = 11001,
    sckAccessDenied = 10013,
    sckUnknownError = 40006,
};

// What an error number means, in a few words ("address already in use" for 10048); empty for a
// number this list does not hold.
inline std::u16string_view socketErrorText(int number) {
    switch (number) {
        case sckInvalidOp:
            return u"invalid operation in this state";
        case sckAddressInUse:
            return u"address already in use";
        case sckAddressNotAvailable:
            return u"address not available on this machine";
        case sckNetworkUnreachable:
            return u"network unreachable";
        case sckConnectAborted:
            return u"connection aborted";
        case sckConnectionReset:
            return u"connection reset by the peer";
        case sckTimedout:
            return u"timed out";
        case sckConnectionRefused:
            return u"connection refused";
        case sckHostNotFound:
            return u"host not found";
        case sckAccessDenied:
            return u"permission denied";
        default:
            return {};
    }
}

class SocketEvents {
  public:
    virtual ~SocketEvents() = default;
    // A client knocks on the listening element. Accept it during this call, or it is refused
    // (the connection is closed as soon as the call returns).
    virtual void ConnectionRequest(int index, long requestID) = 0;
    // Bytes wait on the element; read them with GetData. Delivered from the event loop, never
    // from inside another event of the same array.
    virtual void DataArrival(int index, long bytesTotal) = 0;
    // The peer closed the connection of the element (its state is then sckClosing).
    virtual void Close(int index) = 0;
    virtual void Error(int index, int number, const std::u16string& description) = 0;
};

class SocketArray {
  public:
    virtual ~SocketArray() = default;
    virtual void setEvents(SocketEvents* events) = 0;

    // Creates element index (element 0 always exists); false when it already exists.
    virtual bool Load(int index) = 0;
    // Removes element index (> 0), closing it first.
    virtual void Unload(int index) = 0;
    virtual bool exists(int index) const = 0;

    // Binds element 0 to the address and port and listens. 0 on success, else the error
    // number: sckAddressNotAvailable for an address this machine does not have (or that is not
    // an address at all), sckAddressInUse for a port already taken.
    virtual int Listen(int index, const std::u16string& localIp, int port) = 0;
    // Takes the requested connection onto element index. 0 or an error number.
    virtual int Accept(int index, long requestID) = 0;
    virtual void Close(int index) = 0;
    // sckClosing as soon as the peer's close can be seen, which may be before its Close event.
    virtual int State(int index) const = 0;
    // True when the peer of a connected element has closed its end or reset the connection,
    // also while bytes it sent before wait unread (State still says connected then).
    virtual bool PeerGone(int index) const { return State(index) == sckClosing; }

    // All bytes waiting on the element.
    virtual std::string GetData(int index) = 0;
    // Queues the bytes for sending. 0 or an error number.
    virtual int SendData(int index, std::string_view bytes) = 0;

    virtual std::u16string LocalIP(int index) const = 0;
    virtual int LocalPort(int index) const = 0;
    virtual std::u16string RemoteHostIP(int index) const = 0;
};

}  // namespace platform::net
