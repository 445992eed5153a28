// Our layout component: how data are coded into the byte grid of a dot-grid code and where
// each coded byte lands. Its three operations keep the contracts of the outside layout calls.
//
// Format of a laid-out grid of c column bytes by r rows (c a multiple of 4 in 4..84, r a
// multiple of 24):
//   - Coding: the data are cut into blocks of k = 255 - level * 127 / 100 bytes (the last one
//     padded with zeros; at least one block). Each block becomes a Reed-Solomon word of
//     k + (255 - k) bytes over GF(256) (field polynomial 0x171): the 255 - k check bytes first,
//     then the k data bytes (see coding.h). Blocks follow one another. The 16-byte data header
//     is coded the same way as one block of 16 data and 32 check bytes (48 bytes).
//   - Byte stream: the 48 header bytes, then the coded data blocks, then filler up to c * r.
//   - Cell placement: the grid is cut into tiles of 4 bytes by 24 rows, T = (c / 4) * (r / 24)
//     tiles numbered row of tiles by row of tiles. Stream byte s goes to tile s mod T, at
//     place q = s / T inside it: tile row q / 4, tile column q mod 4. Consecutive bytes of one
//     word land in different tiles, so a blot on the paper hurts many words a little.
#pragma once

#include <cstdint>

#include "gridcode/gridmark.h"

namespace gridcode::layout {

constexpr int kNoFit = -21;
constexpr int kRefused = -20;
constexpr int kMaxRows = 0xFFFF / 24 * 24;

// Settles column bytes, rows, total, check, data bytes, blocks and data span in the record.
// Fills in data bytes and blocks too, which the placement reads.
int plan(GridLayout& record);
// Codes record.blocks blocks of record.dataBytes bytes from src into record.total bytes at dst.
// Answers 1, or kRefused for a record that does not describe a code.
int code(const std::uint8_t* src, std::uint8_t* dst, const GridLayout& record);
// Moves the c * r bytes of src to their cells in dst (tilesAcross = c / 4, tilesDown = r / 24).
void place(const std::uint8_t* src, std::uint8_t* dst, int tilesAcross, int tilesDown);
// Where stream byte s lands.
std::size_t cellOf(std::size_t s, int tilesAcross, int tilesDown);

}  // namespace gridcode::layout
