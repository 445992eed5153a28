// The private channel between the broker and its elevated host: length-prefixed frames on a
// pipe pair, one call at a time.
//
// Every frame is a little-endian u32 length followed by that many bytes. A call is the
// dispatch identifier (i32), the argument count (u8) and the arguments; an answer is the
// status (i32), the result and a description text. Values are tagged: 1 = 32-bit integer
// (i32), 2 = ANSI text (u32 byte count, the bytes), 3 = text (u32 unit count, UTF-16LE
// units); tag 0 is no value (answers only). The host's first frame is a greeting: an answer
// with S_OK and the protocol version as its integer result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/com/hresult.h"

namespace elevation::wire {

using platform::com::HRESULT;

inline constexpr std::uint32_t kMaxFrame = 1u << 20;  // bytes after the length
// An answer may be longer than a call: it carries the longest text a privileged member answers
// (a loaded file's first field, at most 16 Mi characters of two bytes each) with room for its
// status and description. A member may already have changed the machine when it answers, so
// whatever it may answer must reach the caller. The broker's tests carry a field of that
// length through the elevated host and back.
inline constexpr std::uint32_t kMaxReplyFrame = (32u << 20) + (64u << 10);
inline constexpr std::int32_t kProtocolVersion = 1;

// The host refuses a frame it cannot read with this status; a call on a host that has ended
// fails with the second.
inline constexpr HRESULT RPC_X_BAD_STUB_DATA = platform::com::hr(0x800706F7);
inline constexpr HRESULT RPC_E_DISCONNECTED = platform::com::hr(0x80010108);

struct AnsiText {
    std::string bytes;
    friend bool operator==(const AnsiText&, const AnsiText&) = default;
};

// No value, an integer, ANSI text (arguments) or text (results).
using Value = std::variant<std::monostate, std::int32_t, AnsiText, std::u16string>;

struct Request {
    std::int32_t dispId = 0;
    std::vector<Value> args;
};

struct Reply {
    HRESULT status = platform::com::S_OK;
    Value result;
    std::u16string description;
};

// A frame's whole bytes, length included.
std::vector<std::uint8_t> encode(const Request& request);
std::vector<std::uint8_t> encode(const Reply& reply);

// A frame's body (the bytes after the length); nullopt when it is malformed: truncated, an
// unknown tag, bytes left over, or a value kind that has no place there.
std::optional<Request> decodeRequest(const std::vector<std::uint8_t>& body);
std::optional<Reply> decodeReply(const std::vector<std::uint8_t>& body);

enum class ReadResult { Frame, End, TooLarge, Failed };

// Reads one frame's body from a descriptor, waiting as long as it takes. End: the writer closed
// the channel before a frame began; a frame cut short is Failed; a length above `limit` is
// TooLarge, and nothing of the body is read. Calls are read with kMaxFrame, answers with
// kMaxReplyFrame.
ReadResult readFrame(int fd, std::vector<std::uint8_t>& body, std::uint32_t limit = kMaxFrame);
// 0 or the errno of the failure (EPIPE when the reader has gone).
int writeFrame(int fd, const std::vector<std::uint8_t>& frame);

}  // namespace elevation::wire
