// MD5 message digest (RFC 1321). The ciphers use the 16 raw digest bytes of a password as
// their key material.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace sealwyn {

class Md5 {
  public:
    using Digest = std::array<std::uint8_t, 16>;

    Md5() { init(); }
    void init();
    void update(const std::uint8_t* data, std::size_t count);
    // The digest; the context is wiped and must be initialised again before reuse.
    Digest final();

    static Digest of(std::span<const std::uint8_t> data);
    static Digest of(std::string_view bytes);

  private:
    std::array<std::uint32_t, 4> state_{};
    std::array<std::uint32_t, 2> count_{};  // bit count, low word first
    std::array<std::uint8_t, 64> buffer_{};
};

}  // namespace sealwyn
