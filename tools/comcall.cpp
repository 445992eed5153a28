// comcall [--new] PROGID [NAME=VALUE ...] MEMBER [ARG ...]
// A small automation host: creates the object by ProgID or class identifier, puts each
// NAME=VALUE as a property in order, invokes MEMBER with the ARGs (texts, coerced by the
// member's declared parameter types) and prints the result as UTF-8 text and a newline.
// A COM error prints "error 0xHHHHHHHH: description" on standard error and exits 1.
// Every call creates a new object (--new says so explicitly; it is the only mode).
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/com/runtime.h"
#include "platform/text/text.h"

using namespace platform::com;
namespace text = platform::text;

namespace {

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (auto b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::string printable(const Variant& v) {
    if (v.isBytes()) return hexOf(v.bytes());
    if (v.isArray()) {
        std::string out;
        for (const auto& item : v.array().items) {
            if (!out.empty()) out += "\n";
            out += printable(item);
        }
        return out;
    }
    if (v.isNull()) return "Null";
    if (v.isObject()) return v.object() ? "[object]" : "Nothing";
    return text::toUtf8(v.toText(AlphaBool));
}

}  // namespace

int main(int argc, char** argv) try {
    int i = 1;
    if (i < argc && !std::strcmp(argv[i], "--new")) ++i;
    if (argc - i < 2) {
        std::fprintf(stderr, "usage: comcall [--new] PROGID [NAME=VALUE ...] MEMBER [ARG ...]\n");
        return 2;
    }
    const std::u16string progId = text::fromUtf8(argv[i++]);
    std::vector<std::pair<std::u16string, std::u16string>> puts;
    for (; i < argc; ++i) {
        const char* eq = std::strchr(argv[i], '=');
        if (!eq || eq == argv[i]) break;
        puts.emplace_back(
            text::fromUtf8(std::string(argv[i], static_cast<std::size_t>(eq - argv[i]))),
            text::fromUtf8(eq + 1));
    }
    if (i >= argc) {
        std::fprintf(stderr, "comcall: no member to call\n");
        return 2;
    }
    const std::u16string member = text::fromUtf8(argv[i++]);
    std::vector<Variant> args;
    for (; i < argc; ++i) args.emplace_back(text::fromUtf8(argv[i]));
    try {
        auto object = createObject(progId);
        for (auto& [name, value] : puts) put(*object, name, Variant(value));
        Variant result = call(*object, member, std::move(args));
        std::string out = printable(result);
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fputc('\n', stdout);
    } catch (const ComError& e) {
        std::fprintf(stderr, "error 0x%08X: %s\n", static_cast<unsigned>(e.hr()),
                     text::toUtf8(e.description()).c_str());
        return 1;
    }
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "comcall: failed: %s\n", e.what());
    return 1;
} catch (...) {
    std::fprintf(stderr, "comcall: failed with an unknown exception\n");
    return 1;
}
