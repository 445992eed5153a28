// The request frame of the TCP protocol and the receive buffer that cuts frames out of the
// arriving text.
//
// A frame, as text (positions 1-based, counted in UTF-16 characters):
//   1-8    total length in characters, 8 ASCII digits, header included
//   9-16   "SMATM001"
//   17-33  timestamp yyyyMMddHHmmssfff
//   34     any character in a request, "C" in a reply
//   35     "C" in a request, "I" in a reply
//   36-39  command code (a reply echoes the request's code)
//   40-    body
// On the wire a frame is the text in the system ANSI code page.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "lib/clock/clock.h"

namespace tessel {

inline constexpr std::u16string_view kFrameMarker = u"SMATM001";
inline constexpr std::size_t kHeaderLength = 35;
inline constexpr std::size_t kDefaultMaxFrame = 32u * 1024 * 1024;
// The log level that turns the header check off.
inline constexpr int kNoHeaderCheckLevel = 11;

// The 35-character reply header for a body of bodyLength characters.
std::u16string FMakeHeader(std::size_t bodyLength, const LocalTime& time);
// A whole request frame as the protocol client sends it: "RC" at positions 34-35, the code
// and the body.
std::u16string FMakeRequest(std::u16string_view code, std::u16string_view body,
                            const LocalTime& time);

// The declared length when positions 1-8 are 8 ASCII digits.
std::optional<std::size_t> declaredLength(std::u16string_view buffer);
// True when the buffer holds an acceptable request header: more than 38 characters, a length
// of 8 ASCII digits above 34, the marker (letter case ignored) and "C" at position 35 (letter
// case ignored). Log level 11 accepts anything.
bool FCheckHeader(std::u16string_view buffer, int logLevel);
// True when the text begins with 8 ASCII digits and the marker.
bool beginsWithHeader(std::u16string_view text);
// True when the text, shorter than a header, can still grow into an acceptable one.
bool couldBeginHeader(std::u16string_view text);

// The receive buffer of one connection.
class FrameAssembler {
  public:
    enum class Status { NeedMore, Frame, BadHeader, Oversize };
    struct Result {
        Status status = Status::NeedMore;
        std::u16string frame;
    };

    explicit FrameAssembler(std::size_t maxFrame = kDefaultMaxFrame) : maxFrame_(maxFrame) {}
    void setMaxFrame(std::size_t maxFrame) { maxFrame_ = maxFrame; }
    void setLogLevel(int level) { logLevel_ = level; }

    // Adds an arrival. An arrival that begins with a header while a partial frame is waiting
    // replaces it (the client gave up on the old frame and started a new one).
    void arrive(std::u16string_view text);
    // The next complete frame, taken out of the buffer. When the text after the declared
    // length begins a new header, only the first frame is taken and the rest waits; otherwise
    // the whole buffer is the frame, which tolerates clients that under-declare. BadHeader and
    // Oversize leave the buffer as it is; the caller closes the client and clears it.
    Result next();
    void clear() { buffer_.clear(); }
    const std::u16string& buffer() const { return buffer_; }

  private:
    std::u16string buffer_;
    std::size_t maxFrame_;
    int logLevel_ = 10;
};

// The length of the frame at the start of a reply stream: nullopt while fewer than 8
// characters have come, 0 when they are not a length of at least a header (the stream is not
// a reply), else the declared length.
std::optional<std::size_t> replyLength(std::u16string_view stream);

// The command code of a frame (positions 36-39, may be shorter) and its body (40-).
std::u16string frameCode(std::u16string_view frame);
std::u16string_view frameBody(std::u16string_view frame);

// Turns arriving bytes in the ANSI code page into text, keeping a double-byte character that
// an arrival split until its second byte comes.
class AnsiStreamDecoder {
  public:
    std::u16string decode(std::string_view arrival);
    void reset() { pending_.clear(); }
    // True while the first byte of a double-byte character waits for its second.
    bool pending() const { return !pending_.empty(); }

  private:
    std::string pending_;
};

// A client's receive side: cuts the server's replies out of the bytes that arrive, in the ANSI
// code page.
class ReplyStream {
  public:
    enum class Status { NeedMore, Reply, NotAReply };
    void arrive(std::string_view bytes);
    // The next whole reply, taken out of the stream. NotAReply leaves the stream as it is.
    Status next(std::u16string& reply);
    const std::u16string& pending() const { return pending_; }
    void clear() { pending_.clear(); }

  private:
    std::u16string pending_;
    AnsiStreamDecoder decoder_;
};

}  // namespace tessel
