// comcall [--new] PROGID [NAME=VALUE ...] MEMBER [ARG ...] [-- [NAME=VALUE ...] MEMBER [ARG
// ...]]... A small automation host: creates the object by ProgID or class identifier, puts each
// NAME=VALUE as a property in order, invokes MEMBER with the ARGs (texts, coerced by the
// member's declared parameter types) and prints the result as UTF-8 text and a newline.
// "--" starts a further call on the same object; the calls run in order, each printing its
// result on its own line (an empty line for a call without result). A member that is only a
// property put, named with arguments, is put (`param "<text>"`). A name may be a dotted path,
// as a script host writes it: "Pairs.Add" reads Pairs and calls Add on the object it returns.
// A COM error prints "error 0xHHHHHHHH: description" on standard error and exits 1.
// Every run creates a new object (--new says so explicitly; it is the only mode).
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/com/runtime.h"
#include "platform/system/filelimit.h"
#include "platform/text/text.h"

using namespace platform::com;
namespace text = platform::text;

namespace {

std::string printable(const Variant& v) {
    if (v.isBytes()) return text::toHexAscii(v.bytes());
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

struct Step {
    std::vector<std::pair<std::u16string, std::u16string>> puts;
    std::u16string member;
    std::vector<Variant> args;
};

// The object a dotted path leads to, and the path's last name: "A.B.C" reads A, then B of
// what A returned, and leaves C to the caller.
std::shared_ptr<Dispatch> walk(std::shared_ptr<Dispatch> object, std::u16string_view path,
                               std::u16string& last) {
    std::size_t dot;
    while ((dot = path.find(u'.')) != std::u16string_view::npos) {
        const std::u16string_view name = path.substr(0, dot);
        object = call(*object, name).dispatch();
        if (!object) raise(hr(0x800A01A8u), u"Object required: " + std::u16string(name));
        path.remove_prefix(dot + 1);
    }
    last = std::u16string(path);
    return object;
}

// One call: a member called as a method or property get, or put when it is only a put.
Variant run(const std::shared_ptr<Dispatch>& root, const Step& step) {
    std::u16string name;
    for (auto& [path, value] : step.puts) {
        auto target = walk(root, path, name);
        put(*target, name, Variant(value));
    }
    auto object = walk(root, step.member, name);
    try {
        return call(*object, name, step.args);
    } catch (const ComError& e) {
        if (e.hr() != DISP_E_MEMBERNOTFOUND || step.args.empty()) throw;
    }
    invoke(*object, name, DISPATCH_PROPERTYPUT, step.args);
    return Variant();
}

}  // namespace

int main(int argc, char** argv) try {
    platform::system::ignoreFileSizeSignal();  // a file size limit fails the write instead
    int i = 1;
    if (i < argc && !std::strcmp(argv[i], "--new")) ++i;
    if (argc - i < 2) {
        std::fprintf(stderr,
                     "usage: comcall [--new] PROGID [NAME=VALUE ...] MEMBER [ARG ...] "
                     "[-- [NAME=VALUE ...] MEMBER [ARG ...]]...\n");
        return 2;
    }
    const std::u16string progId = text::fromUtf8(argv[i++]);
    std::vector<Step> steps;
    for (;;) {
        Step step;
        for (; i < argc; ++i) {
            const char* eq = std::strchr(argv[i], '=');
            if (!eq || eq == argv[i]) break;
            step.puts.emplace_back(
                text::fromUtf8(std::string(argv[i], static_cast<std::size_t>(eq - argv[i]))),
                text::fromUtf8(eq + 1));
        }
        if (i >= argc || !std::strcmp(argv[i], "--")) {
            std::fprintf(stderr, "comcall: no member to call\n");
            return 2;
        }
        step.member = text::fromUtf8(argv[i++]);
        for (; i < argc && std::strcmp(argv[i], "--"); ++i)
            step.args.push_back(Variant(text::fromUtf8(argv[i])));
        steps.push_back(std::move(step));
        if (i >= argc) break;
        ++i;  // past "--"
    }
    try {
        auto object = createObject(progId);
        for (const auto& step : steps) {
            std::string out = printable(run(object, step));
            out += '\n';
            std::fwrite(out.data(), 1, out.size(), stdout);
            std::fflush(stdout);
        }
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
