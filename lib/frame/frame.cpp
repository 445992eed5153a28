#include "lib/frame/frame.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/text/text.h"

namespace tessel {

namespace text = platform::text;

namespace {
std::u16string header(std::size_t bodyLength, const LocalTime& time, std::u16string_view kind) {
    return text::zeroPad(static_cast<std::int64_t>(bodyLength + kHeaderLength), 8) +
           std::u16string(kFrameMarker) + GetTimeStamp(time) + std::u16string(kind);
}
}  // namespace

std::u16string FMakeHeader(std::size_t bodyLength, const LocalTime& time) {
    return header(bodyLength, time, u"CI");
}

std::u16string FMakeRequest(std::u16string_view code, std::u16string_view body,
                            const LocalTime& time) {
    return header(code.size() + body.size(), time, u"RC") + std::u16string(code) +
           std::u16string(body);
}

std::optional<std::size_t> replyLength(std::u16string_view stream) {
    if (stream.size() < 8) return std::nullopt;
    auto length = declaredLength(stream);
    if (!length || *length < kHeaderLength) return 0;
    return length;
}

void ReplyStream::arrive(std::string_view bytes) {
    pending_ += decoder_.decode(bytes);
}

ReplyStream::Status ReplyStream::next(std::u16string& reply) {
    auto length = replyLength(pending_);
    if (!length) return Status::NeedMore;
    if (*length == 0) return Status::NotAReply;
    if (pending_.size() < *length) return Status::NeedMore;
    reply = pending_.substr(0, *length);
    pending_.erase(0, *length);
    return Status::Reply;
}

std::optional<std::size_t> declaredLength(std::u16string_view buffer) {
    if (buffer.size() < 8) return std::nullopt;
    std::size_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        char16_t c = buffer[i];
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + static_cast<std::size_t>(c - u'0');
    }
    return value;
}

namespace {
bool markerMatches(std::u16string_view text, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (text::toUpper(text[8 + i]) != kFrameMarker[i]) return false;
    return true;
}
}  // namespace

bool FCheckHeader(std::u16string_view buffer, int logLevel) {
    if (logLevel == kNoHeaderCheckLevel) return true;
    if (buffer.size() <= 38) return false;
    auto length = declaredLength(buffer);
    if (!length || *length <= 34) return false;
    if (!markerMatches(buffer, 8)) return false;
    return text::toUpper(buffer[34]) == u'C';
}

bool beginsWithHeader(std::u16string_view text) {
    return text.size() >= 16 && declaredLength(text) && markerMatches(text, 8);
}

bool couldBeginHeader(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size() && i < 8; ++i)
        if (text[i] < u'0' || text[i] > u'9') return false;
    if (text.size() >= 8 && *declaredLength(text) <= 34) return false;
    if (text.size() > 8 && !markerMatches(text, std::min<std::size_t>(text.size() - 8, 8)))
        return false;
    if (text.size() >= 35 && text::toUpper(text[34]) != u'C') return false;
    return true;
}

void FrameAssembler::arrive(std::u16string_view arrival) {
    // The abandoned frame's storage goes with it.
    if (!buffer_.empty() && beginsWithHeader(arrival)) std::u16string().swap(buffer_);
    // Once the length field is in, the buffer gets room for the whole frame at once, so a
    // large frame is never copied into a buffer twice its size on the way in.
    const std::size_t lengthField = buffer_.size() < 8 ? 8 - buffer_.size() : 0;
    buffer_.append(arrival.substr(0, lengthField));
    arrival.remove_prefix(std::min(lengthField, arrival.size()));
    if (auto declared = declaredLength(buffer_);
        declared && *declared <= maxFrame_ && *declared > buffer_.capacity())
        buffer_.reserve(*declared);
    buffer_.append(arrival);
}

FrameAssembler::Result FrameAssembler::next() {
    if (buffer_.empty()) return {};
    std::size_t declared = 0;
    if (logLevel_ == kNoHeaderCheckLevel) {
        if (buffer_.size() < 39) return {};
        declared = declaredLength(buffer_).value_or(0);
    } else {
        if (buffer_.size() <= 38)
            return {couldBeginHeader(buffer_) ? Status::NeedMore : Status::BadHeader, {}};
        if (!FCheckHeader(buffer_, logLevel_)) return {Status::BadHeader, {}};
        declared = *declaredLength(buffer_);
    }
    if (declared > maxFrame_) return {Status::Oversize, {}};
    if (declared > buffer_.size()) return {};
    std::u16string_view rest = std::u16string_view(buffer_).substr(declared);
    // The text after the declared length is the next frame when it begins with a header, or
    // when it is too short to tell and could still become one (TCP split the next frame).
    const bool nextFrame = beginsWithHeader(rest) || (rest.size() < 16 && couldBeginHeader(rest));
    if (!rest.empty() && declared > 0 && nextFrame) {
        Result r{Status::Frame, buffer_.substr(0, declared)};
        buffer_.erase(0, declared);
        // What waits is small beside the room a large first frame took: give the room back.
        if (buffer_.capacity() > 4 * buffer_.size() + 64 * 1024) buffer_.shrink_to_fit();
        return r;
    }
    if (buffer_.size() > maxFrame_) return {Status::Oversize, {}};
    Result r{Status::Frame, std::move(buffer_)};
    buffer_.clear();
    return r;
}

std::u16string frameCode(std::u16string_view frame) {
    if (frame.size() <= 35) return {};
    return std::u16string(frame.substr(35, 4));
}

std::u16string_view frameBody(std::u16string_view frame) {
    if (frame.size() <= 39) return {};
    return frame.substr(39);
}

std::u16string AnsiStreamDecoder::decode(std::string_view arrival) {
    // Only the few bytes of a character split by the previous arrival are carried over; the
    // rest is decoded where it lies.
    std::string joined;
    std::string_view bytes = arrival;
    if (!pending_.empty()) {
        joined.reserve(pending_.size() + arrival.size());
        joined.append(pending_).append(arrival);
        bytes = joined;
    }
    std::size_t complete = bytes.size();
    if (text::ansiCodePage() == text::kCodePageKorean) {
        // Walk the characters: a lead byte 0x81-0xFE takes the next byte with it.
        // Eight bytes below 0x80 are eight characters of their own, so runs of them (a page's
        // Base64 text) are passed over a word at a time.
        std::size_t i = 0;
        while (i < bytes.size()) {
            if (bytes.size() - i >= 8) {
                std::uint64_t word;
                std::memcpy(&word, bytes.data() + i, 8);
                if ((word & 0x8080808080808080ULL) == 0) {
                    i += 8;
                    continue;
                }
            }
            auto b = static_cast<unsigned char>(bytes[i]);
            if (b >= 0x81 && b <= 0xFE) {
                if (i + 1 >= bytes.size()) break;
                i += 2;
            } else {
                ++i;
            }
        }
        complete = i;
    } else if (text::ansiCodePage() == text::kCodePageUtf8) {
        // Keep an unfinished sequence at the end.
        std::size_t back = 0;
        while (back < 3 && back < bytes.size() &&
               (static_cast<unsigned char>(bytes[bytes.size() - 1 - back]) & 0xC0) == 0x80)
            ++back;
        if (back < bytes.size()) {
            auto lead = static_cast<unsigned char>(bytes[bytes.size() - 1 - back]);
            std::size_t need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
            if (need > back) complete = bytes.size() - 1 - back;
        }
    }
    const std::string_view whole = bytes.substr(0, complete);
    std::u16string out;
    if (text::ansiCodePage() == text::kCodePageKorean ||
        text::ansiCodePage() == text::kCodePageUtf8) {
        // Both code pages keep ASCII as it is, and no character of theirs has a byte below 0x80
        // after its first: the ASCII run at the front (all of a page's hexadecimal or Base64
        // text) is widened here, the rest goes through the converter.
        std::size_t ascii = 0;
        while (whole.size() - ascii >= 8) {
            std::uint64_t word;
            std::memcpy(&word, whole.data() + ascii, 8);
            if ((word & 0x8080808080808080ULL) != 0) break;
            ascii += 8;
        }
        while (ascii < whole.size() && static_cast<unsigned char>(whole[ascii]) < 0x80) ++ascii;
        std::u16string rest =
            ascii < whole.size() ? text::fromAnsi(whole.substr(ascii)) : std::u16string();
        out.resize(ascii + rest.size());
        std::copy(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(ascii), out.begin());
        std::copy(rest.begin(), rest.end(), out.begin() + static_cast<std::ptrdiff_t>(ascii));
    } else {
        out = text::fromAnsi(whole);
    }
    pending_.assign(bytes.substr(complete));
    return out;
}

}  // namespace tessel
