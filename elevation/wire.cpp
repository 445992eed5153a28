#include "elevation/wire.h"

#include <cstring>

#include "platform/bytes/byteorder.h"
#include "platform/process/process.h"

namespace elevation::wire {

namespace {

namespace bytes = platform::bytes;

enum Tag : std::uint8_t { kNone = 0, kInteger = 1, kAnsi = 2, kText = 3 };

class Writer {
  public:
    Writer() { bytes_.resize(4); }
    void u8(std::uint8_t v) { bytes_.push_back(v); }
    void u32(std::uint32_t v) { bytes::appendLittleEndian<std::uint32_t>(bytes_, v); }
    void text(const std::u16string& s) {
        u32(std::uint32_t(s.size()));
        for (char16_t c : s) bytes::appendLittleEndian<std::uint16_t>(bytes_, c);
    }
    void value(const Value& v) {
        if (const auto* i = std::get_if<std::int32_t>(&v)) {
            u8(kInteger);
            u32(std::uint32_t(*i));
        } else if (const auto* a = std::get_if<AnsiText>(&v)) {
            u8(kAnsi);
            u32(std::uint32_t(a->bytes.size()));
            bytes_.insert(bytes_.end(), a->bytes.begin(), a->bytes.end());
        } else if (const auto* t = std::get_if<std::u16string>(&v)) {
            u8(kText);
            text(*t);
        } else {
            u8(kNone);
        }
    }
    std::vector<std::uint8_t> finish() {
        const std::uint32_t size = std::uint32_t(bytes_.size() - 4);
        bytes::storeLittleEndian<std::uint32_t>(bytes_.data(), size);
        return std::move(bytes_);
    }

  private:
    std::vector<std::uint8_t> bytes_;
};

class Reader {
  public:
    explicit Reader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    bool u8(std::uint8_t& v) {
        if (left() < 1) return false;
        v = bytes_[pos_++];
        return true;
    }
    bool u32(std::uint32_t& v) {
        if (left() < 4) return false;
        v = bytes::loadLittleEndian<std::uint32_t>(bytes_.data() + pos_);
        pos_ += 4;
        return true;
    }
    bool text(std::u16string& s) {
        std::uint32_t n = 0;
        if (!u32(n) || left() / 2 < n) return false;
        s.resize(n);
        for (std::uint32_t i = 0; i < n; ++i, pos_ += 2)
            s[i] = char16_t(bytes::loadLittleEndian<std::uint16_t>(bytes_.data() + pos_));
        return true;
    }
    bool value(Value& v) {
        std::uint8_t tag = 0;
        if (!u8(tag)) return false;
        switch (tag) {
            case kNone:
                v = std::monostate{};
                return true;
            case kInteger: {
                std::uint32_t i = 0;
                if (!u32(i)) return false;
                v = std::int32_t(i);
                return true;
            }
            case kAnsi: {
                std::uint32_t n = 0;
                if (!u32(n) || left() < n) return false;
                AnsiText a;
                a.bytes.assign(reinterpret_cast<const char*>(bytes_.data() + pos_), n);
                pos_ += n;
                v = std::move(a);
                return true;
            }
            case kText: {
                std::u16string s;
                if (!text(s)) return false;
                v = std::move(s);
                return true;
            }
            default:
                return false;
        }
    }
    bool done() const { return pos_ == bytes_.size(); }

  private:
    std::size_t left() const { return bytes_.size() - pos_; }
    const std::vector<std::uint8_t>& bytes_;
    std::size_t pos_ = 0;
};

// Reads exactly `size` bytes; false at the end of the channel or on a failure.
bool readExactly(int fd, std::uint8_t* buffer, std::size_t size, bool& nothingRead) {
    nothingRead = true;
    while (size > 0) {
        std::size_t got = 0;
        auto status = platform::process::readSome(fd, buffer, size, got, std::nullopt);
        if (status != platform::process::ReadStatus::Data) return false;
        nothingRead = false;
        buffer += got;
        size -= got;
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> encode(const Request& request) {
    Writer w;
    w.u32(std::uint32_t(request.dispId));
    w.u8(std::uint8_t(request.args.size()));
    for (const auto& a : request.args) w.value(a);
    return w.finish();
}

std::vector<std::uint8_t> encode(const Reply& reply) {
    Writer w;
    w.u32(std::uint32_t(reply.status));
    w.value(reply.result);
    w.text(reply.description);
    return w.finish();
}

std::optional<Request> decodeRequest(const std::vector<std::uint8_t>& body) {
    Reader r(body);
    Request request;
    std::uint32_t id = 0;
    std::uint8_t count = 0;
    if (!r.u32(id) || !r.u8(count)) return std::nullopt;
    request.dispId = std::int32_t(id);
    for (unsigned i = 0; i < count; ++i) {
        Value v;
        if (!r.value(v) || std::holds_alternative<std::monostate>(v)) return std::nullopt;
        request.args.push_back(std::move(v));
    }
    if (!r.done()) return std::nullopt;
    return request;
}

std::optional<Reply> decodeReply(const std::vector<std::uint8_t>& body) {
    Reader r(body);
    Reply reply;
    std::uint32_t status = 0;
    if (!r.u32(status) || !r.value(reply.result) || !r.text(reply.description) || !r.done())
        return std::nullopt;
    reply.status = HRESULT(status);
    return reply;
}

ReadResult readFrame(int fd, std::vector<std::uint8_t>& body, std::uint32_t limit) {
    std::uint8_t header[4];
    bool nothing = true;
    if (!readExactly(fd, header, 4, nothing)) return nothing ? ReadResult::End : ReadResult::Failed;
    const std::uint32_t size = bytes::loadLittleEndian<std::uint32_t>(header);
    if (size > limit) return ReadResult::TooLarge;
    body.assign(size, 0);
    if (size > 0 && !readExactly(fd, body.data(), size, nothing)) return ReadResult::Failed;
    return ReadResult::Frame;
}

int writeFrame(int fd, const std::vector<std::uint8_t>& frame) {
    return platform::process::writeAll(fd, frame.data(), frame.size());
}

}  // namespace elevation::wire
