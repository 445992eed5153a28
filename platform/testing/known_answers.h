// Test support: known-answer files for block ciphers, and a check of a block core against them.
//
// A file holds one case a line: key, plain text and cipher text as hexadecimal fields separated
// by blanks. '#' starts a comment; blank lines are skipped.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/text/coding.h"

namespace platform::testing {

struct KnownAnswer {
    int line = 0;
    std::vector<std::uint8_t> key, plain, cipher;
};

struct KnownAnswerFile {
    std::vector<KnownAnswer> cases;
    std::string error;  // empty when the whole file was read
};

inline bool parseHex(const std::string& field, std::vector<std::uint8_t>& out) {
    auto bytes = platform::text::fromHex(std::string_view(field));
    if (!bytes) return false;
    out = std::move(*bytes);
    return true;
}

// Every case of the file, or an error naming the first line that is not three hexadecimal
// fields with plain and cipher texts of one length.
inline KnownAnswerFile readKnownAnswers(const std::string& path) {
    KnownAnswerFile file;
    std::ifstream in(path);
    if (!in) {
        file.error = "cannot open " + path;
        return file;
    }
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        if (const auto hash = text.find('#'); hash != std::string::npos) text.erase(hash);
        std::istringstream fields(text);
        std::string key, plain, cipher, extra;
        if (!(fields >> key)) continue;
        KnownAnswer answer;
        answer.line = number;
        if (!(fields >> plain >> cipher) || (fields >> extra) || !parseHex(key, answer.key) ||
            !parseHex(plain, answer.plain) || !parseHex(cipher, answer.cipher) ||
            answer.plain.size() != answer.cipher.size()) {
            file.error = path + ":" + std::to_string(number) + ": not key, plain and cipher text";
            return file;
        }
        file.cases.push_back(std::move(answer));
    }
    return file;
}

// Runs every case through a block core (encryptBlocks and decryptBlocks over spans): all
// blocks in one call into a separate buffer, then one block a call in place. `setKey` keys the
// core and says whether it took the key. Returns one line per disagreement; empty when all
// agree.
template <class Core>
std::vector<std::string> checkBlockCore(
    const KnownAnswerFile& file, std::size_t blockSize,
    const std::function<bool(Core&, std::span<const std::uint8_t>)>& setKey) {
    std::vector<std::string> faults;
    auto fault = [&](const KnownAnswer& a, const std::string& what) {
        faults.push_back("line " + std::to_string(a.line) + ": " + what);
    };
    using Step = bool (Core::*)(std::span<const std::uint8_t>, std::span<std::uint8_t>) const;
    struct Direction {
        const char* name;
        Step step;
        std::vector<std::uint8_t> KnownAnswer::*from;
        std::vector<std::uint8_t> KnownAnswer::*to;
    };
    const Direction directions[] = {
        {"encrypt", &Core::encryptBlocks, &KnownAnswer::plain, &KnownAnswer::cipher},
        {"decrypt", &Core::decryptBlocks, &KnownAnswer::cipher, &KnownAnswer::plain},
    };
    for (const auto& a : file.cases) {
        Core core;
        if (!setKey(core, a.key)) {
            fault(a, "key refused");
            continue;
        }
        if (a.plain.empty() || a.plain.size() % blockSize != 0) {
            fault(a, "not whole blocks");
            continue;
        }
        for (const auto& d : directions) {
            const auto& from = a.*d.from;
            const auto& to = a.*d.to;
            std::vector<std::uint8_t> out(from.size());
            if (!(core.*d.step)(from, out) || out != to)
                fault(a, std::string(d.name) + ", all blocks at once");
            std::vector<std::uint8_t> buffer = from;
            bool ok = true;
            for (std::size_t off = 0; off < buffer.size(); off += blockSize) {
                const std::span<std::uint8_t> block(buffer.data() + off, blockSize);
                ok = (core.*d.step)(block, block) && ok;
            }
            if (!ok || buffer != to) fault(a, std::string(d.name) + ", one block a call in place");
        }
    }
    return faults;
}

}  // namespace platform::testing
