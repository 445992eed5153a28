// A reader for what the grid code library writes, for the tests: it corrects words with the
// Reed-Solomon code, checks every CRC and check row, and gives back the data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "gridcode/gridmark.h"

namespace gridcode::testing {

// Corrects up to checks / 2 symbol errors in place; answers the errors mended or -1 when the
// word cannot be mended.
int correct(std::span<std::uint8_t> word, int checks);

struct GridReading {
    bool ok = false;
    std::string failure;
    int checkRowFaults = 0;  // check bytes that did not match their column
    int correctedSymbols = 0;
    std::uint16_t total = 0;
    std::uint16_t check = 0;
    std::vector<std::uint8_t> data;
};
// Reads the code that FillGrid drew into a bitmap of the given geometry. `damage` (optional) is
// applied to the module rows before anything else, as a blot on the paper would.
GridReading readGrid(const GridBitmap* bitmap, const GridParams& params, int fx, int fy,
                     void (*damage)(std::vector<std::uint8_t>& modules, int columnBytes) = nullptr);

struct DigitalReading {
    bool ok = false;
    std::string failure;
    bool digital = false;
    std::uint32_t declaredLength = 0;
    std::uint32_t codedLength = 0;
    int frames = 0;
    int badFrames = 0;  // frames whose CRC-16 failed
    int correctedSymbols = 0;
    int level = 0;
    bool compressed = false;
    bool encrypted = false;
    std::vector<std::uint8_t> block;    // the 20-byte block
    std::vector<std::uint8_t> trailer;  // unmasked
    std::vector<std::uint8_t> data;     // decrypted and expanded
};
DigitalReading readDigital(std::span<const std::uint8_t> image, const std::string& key);

}  // namespace gridcode::testing
