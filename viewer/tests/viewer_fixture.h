// Shared by the viewer control's tests: a clean module state and step log in a temporary
// machine folder, and parameter texts made the way the issuing server makes them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ciphers/dbcodec.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "viewer/log/log.h"
#include "viewer/state/module_state.h"

namespace vistrel::testing {

namespace text = platform::text;

inline std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A valid message key (each group divisible by 17, 19, 31, 61, 89).
inline constexpr std::u16string_view kKey = u"1001310013100131000410057";

// The message cipher text of a plain text under kKey, its bytes in code page 949.
inline std::u16string cipherOf(std::u16string_view plain, std::u16string_view key = kKey) {
    return ciphra::messageEncode(
        text::toCodePage(plain, text::kCodePageKorean), key,
        [](const std::vector<std::uint8_t>& b) { return text::toBase64(b); });
}

// A plain text in the Base64 form of mode 0: its UTF-16LE bytes.
inline std::u16string base64Of(std::u16string_view plain) {
    return text::toBase64(text::toUtf16leBytes(plain));
}

// A 24-bit BMP file of one colour (0xRRGGBB).
inline std::vector<std::uint8_t> bmpOf(int width, int height, std::uint32_t rgb = 0x336699) {
    const int row = (width * 3 + 3) / 4 * 4;
    const std::uint32_t size = 54 + static_cast<std::uint32_t>(row * height);
    std::vector<std::uint8_t> b(size, 0);
    const auto put = [&b](std::size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b[at + static_cast<std::size_t>(i)] = (v >> (8 * i)) & 0xFF;
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, size, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(width), 4);
    put(22, static_cast<std::uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) put(54 + static_cast<std::size_t>(y * row + x * 3), rgb, 3);
    return b;
}

class ViewerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetModuleState();
        resetLog();
        folder_ = machine_.path() / "bin";
        std::filesystem::create_directories(folder_ / "logs");
        setLogLocation(folder_, "Vistrel");
        setLogClock([] {
            std::tm t{};
            t.tm_year = 126;
            t.tm_mon = 11;
            t.tm_mday = 10;
            t.tm_hour = 1;
            return t;
        });
        setLogEnabled(true);
    }
    void TearDown() override {
        resetLog();
        resetModuleState();
    }
    // Every log line written so far, without date and time, in UTF-8.
    std::string log() const {
        const std::string all = slurp(folder_ / "logs" / "Vistrel_20261210.log");
        std::string out;
        std::istringstream lines(all);
        for (std::string line; std::getline(lines, line);) {
            if (line.size() >= 19) line.erase(0, 19);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out += line + "\n";
        }
        return out;
    }
    bool logged(const std::string& line) const {
        return log().find(line + "\n") != std::string::npos;
    }

    platform::testing::TempMachine machine_;
    std::filesystem::path folder_;
};

}  // namespace vistrel::testing
