// The digital coding of a payload: Reed-Solomon words over GF(256), interleaved across frames,
// each frame guarded by CRC-16/XMODEM and sent as a bit stream with 0x7E flags and zero-bit
// stuffing.
//
//   Coding header (24 bytes, little-endian): k, payload length, 0, 0, CRC of the payload, CRC of
//   the first 20 bytes (the library's CRC-32 variant).
//   Block buffer: c = (length + k - 1) / k + 1 words of 255 bytes; word 0 codes the header with
//   24 data bytes and 231 check bytes; words 1.. hold the payload k bytes each, coded with
//   255 - k check bytes (copied as they are at level 0).
//   Frames: F = 5c frames; frame i carries buffer bytes i, i + F, ..., i + 50F and is sent as
//   F (u16 BE), i (u16 BE), the 51 bytes, CRC-16 of those 55 bytes (u16 BE).
//   Stream: a flag 0x7E before each frame, a 0 after every five 1 bits inside a frame, one more
//   flag after the last frame, zero bits up to a byte boundary; most significant bit first.
#pragma once

#include <cstdint>
#include <vector>

namespace gridcode::digital {

constexpr int kBadArgument = -1;
constexpr int kNoMemory = -2;
constexpr int kBadCode = -4;
constexpr std::size_t kReserved = 142;  // bitmap file header and header row in front
constexpr int kFrameBytes = 57;
constexpr std::uint8_t kFlag = 0x7E;

// Codes the payload at the level (0 to 100) into out: kReserved bytes left for the caller, then
// the stream, then zeros up to a whole 80-byte row. codedLength = stream bytes. Answers 1 or a
// negative code above.
int encode(int level, const std::uint8_t* payload, std::uint32_t length,
           std::vector<std::uint8_t>& out, std::uint32_t& codedLength);

}  // namespace gridcode::digital
