// SEED in CBC mode with PKCS#7 padding, as the control library offers it: one-call encryption
// and decryption of byte arrays, and a streaming interface over big-endian 32-bit words
// (init, then Process any number of times, then Close). The block cipher itself is the shared
// SEED core; this class adds the chaining, the padding and the word packing.
//
// Every instance keeps its own keys, chain and pending bytes, so two streams never disturb each
// other. No member throws: a refused call answers false (or 0) and changes nothing.
//
// The class is part of libVistrel.so's exported surface for C++ callers that load the control
// library; it is no COM class and the library does not register it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vistrel {

class __attribute__((visibility("default"))) KISA_SEED_CBC_C {
  public:
    static constexpr int BLOCK_SIZE_SEED = 16;     // bytes
    static constexpr int BLOCK_SIZE_SEED_INT = 4;  // words
    static constexpr int KISA_DECRYPT = 0;
    static constexpr int KISA_ENCRYPT = 1;

    // out[outOff + k] = in1[off1 + k] ^ in2[off2 + k] for k < 4; a word outside an input
    // counts as 0, a word outside `out` is not written. The spans may be the same memory.
    static void BLOCK_XOR_CBC(std::span<std::uint32_t> out, std::size_t outOff,
                              std::span<const std::uint32_t> in1, std::size_t off1,
                              std::span<const std::uint32_t> in2, std::size_t off2);

    // Enciphers the block of four words at in[inOff] into out[outOff] under the keys of the
    // last init. False, with nothing written, when either block lies outside its span.
    bool KISA_SEED_Encrypt_Block_forCBC(std::span<const std::uint32_t> in, std::size_t inOff,
                                        std::span<std::uint32_t> out, std::size_t outOff) const;

    // The big-endian words of the first inLen bytes: ceil(inLen / 4) words, a last partial word
    // taking the bytes that follow inLen in `in` (0 beyond its end).
    static std::vector<std::uint32_t> chartoint32_for_SEED_CBC(std::span<const std::uint8_t> in,
                                                               std::size_t inLen);
    // The first inLen bytes of the big-endian image of the words (no more than they hold).
    static std::vector<std::uint8_t> int32tochar_for_SEED_CBC(std::span<const std::uint32_t> in,
                                                              std::size_t inLen);

    // Starts a stream: KISA_ENCRYPT enciphers, any other code deciphers. The key and the IV
    // are their first 16 bytes; either one shorter refuses the call and keeps the old state.
    bool SEED_CBC_init(int enc, std::span<const std::uint8_t> key,
                       std::span<const std::uint8_t> iv);
    // Takes the first inLen bytes of the big-endian image of `in` and writes every whole block
    // it can complete, together with the bytes left over by the previous call, to `out` from
    // word 0; outLen is the bytes written. A partial tail stays for the next call or Close.
    // Deciphering holds back nothing but a partial tail; a deciphering call that has no whole
    // block to decipher refuses and takes nothing. Refused (0, outLen = 0, the stream as it
    // was): no stream started, `in` shorter than inLen, `out` too short for the blocks.
    int SEED_CBC_Process(std::span<const std::uint32_t> in, std::size_t inLen,
                         std::span<std::uint32_t> out, std::size_t& outLen);
    // Ends the stream. Enciphering pads the pending bytes (a whole block of 0x10 when there are
    // none) and writes the last block at byte offset outOffset of `out`; outLen = 16.
    // Deciphering reads the padding count p from the last byte of the last plain block (only
    // that byte is checked): with 0 < p <= 16 it blanks the p bytes before outOffset and sets
    // outLen = p. Refused (0, outLen = 0): no stream, a deciphering stream with a partial
    // block or no block at all, a bad padding byte, `out` too short.
    int SEED_CBC_Close(std::span<std::uint32_t> out, std::size_t outOffset, std::size_t& outLen);

    // message[offset .. offset + length) enciphered with padding into cipherText (16 to
    // 16 * (length / 16 + 1) bytes). False, cipherText unchanged, when the key or IV is
    // refused or the range lies outside the message.
    bool SEED_CBC_Encrypt(std::vector<std::uint8_t>& cipherText, std::span<const std::uint8_t> key,
                          std::span<const std::uint8_t> iv, std::span<const std::uint8_t> message,
                          std::size_t offset, std::size_t length);
    // The inverse: on success `result` holds the plain text and `length` its size. False, with
    // both unchanged, for a refused key or IV, a range outside the message, a length that is
    // not a whole number of blocks (0 included) or a padding byte outside 1..16.
    bool SEED_CBC_Decrypt(std::vector<std::uint8_t>& result, std::span<const std::uint8_t> key,
                          std::span<const std::uint8_t> iv, std::span<const std::uint8_t> message,
                          std::size_t offset, std::size_t& length);

  private:
    using Block = std::array<std::uint8_t, 16>;

    void reset();
    void cipherBlock(Block& block, bool encrypt) const;

    std::array<std::uint32_t, 32> roundKeys_{};  // of the SEED core, from the last init
    bool started_ = false;
    bool encrypting_ = false;
    Block chain_{};
    Block pending_{};  // the bytes of an unfinished block
    std::size_t pendingCount_ = 0;
    Block lastPlain_{};  // deciphering: the last plain block, for the padding check
    bool haveLastPlain_ = false;
};

}  // namespace vistrel
