// tessel-uac-host: the broker's elevated instance. Serves the private operations of one UAC
// object over its standard input and output (see wire.h), one call at a time, and ends at the
// end of its input. Only the private operations are served, with exactly their declared
// arguments, and paths only when they are absolute: the caller's working folder means
// nothing here.
#include <poll.h>

#include <cerrno>
#include <cstring>

#include "elevation/broker.h"
#include "elevation/wire.h"
#include "platform/process/process.h"
#include "platform/system/filelimit.h"
#include "platform/text/codepage.h"
#include "platform/window/keyboard.h"

namespace {

using namespace platform::com;
using namespace elevation;
namespace text = platform::text;
namespace window = platform::window;

constexpr int kDeclinedExit = 126;

wire::Reply refuse(HRESULT status, std::u16string why) {
    return {status, std::monostate{}, std::move(why)};
}

wire::Reply serveCall(UAC& uac, const wire::Request& request) {
    const Operation* op = privateOperation(request.dispId);
    if (!op) return refuse(DISP_E_MEMBERNOTFOUND, u"The member is not served here");
    if (request.args.size() != op->params.size())
        return refuse(DISP_E_BADPARAMCOUNT, describe(DISP_E_BADPARAMCOUNT));
    std::vector<Variant> args;
    for (std::size_t i = 0; i < op->params.size(); ++i) {
        const Kind kind = op->params[i].second;
        const wire::Value& value = request.args[i];
        if (kind == Kind::Long) {
            const auto* n = std::get_if<std::int32_t>(&value);
            if (!n) return refuse(DISP_E_TYPEMISMATCH, describe(DISP_E_TYPEMISMATCH));
            args.emplace_back(*n);
            continue;
        }
        const auto* ansi = std::get_if<wire::AnsiText>(&value);
        if (!ansi || ansi->bytes.find('\0') != std::string::npos)
            return refuse(DISP_E_TYPEMISMATCH, describe(DISP_E_TYPEMISMATCH));
        if (kind == Kind::Path && !ansi->bytes.empty() && ansi->bytes.front() != '/')
            return refuse(E_INVALIDARG, u"A relative path is refused");
        args.emplace_back(text::fromAnsi(ansi->bytes));
    }
    Variant result;
    ExcepInfo excep;
    const HRESULT h = uac.Invoke(request.dispId, DISPATCH_METHOD, args, &result, &excep);
    if (h == DISP_E_EXCEPTION) return refuse(excep.scode, excep.description);
    if (FAILED(h)) return refuse(h, describe(h));
    wire::Reply reply;
    try {
        if (op->result == Result::Long)
            reply.result = result.toI4();
        else if (op->result == Result::Text)
            reply.result = result.toText();
    } catch (...) {
        return refuse(DISP_E_TYPEMISMATCH, describe(DISP_E_TYPEMISMATCH));
    }
    return reply;
}

// Waits for the next call; while the keyboard lock sits on a real display, its key events are
// read meanwhile (this loop is the thread's message loop). False when the wait failed.
bool awaitCall(int in) {
    while (true) {
        // Events already read from the display wait in its queue: deliver them first.
        window::pumpDesktopKeyboard();
        pollfd fds[2] = {{in, POLLIN, 0}, {window::desktopKeyboardFd(), POLLIN, 0}};
        const int n = poll(fds, fds[1].fd >= 0 ? 2 : 1, -1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (fds[1].fd >= 0 && fds[1].revents) window::pumpDesktopKeyboard();
        if (fds[0].revents) return true;
    }
}

int serve(int in, int out) {
    if (wire::writeFrame(out, wire::encode(wire::Reply{S_OK, wire::kProtocolVersion, {}})) != 0)
        return 1;
    UAC uac;
    std::vector<std::uint8_t> body;
    while (true) {
        if (!awaitCall(in)) return 2;
        switch (wire::readFrame(in, body)) {
            case wire::ReadResult::End:
                return 0;
            case wire::ReadResult::Failed:
                return 2;
            case wire::ReadResult::TooLarge:
                // The rest of the stream cannot be trusted: answer and leave.
                wire::writeFrame(out, wire::encode(refuse(wire::RPC_X_BAD_STUB_DATA,
                                                          u"The call is larger than allowed")));
                return 2;
            case wire::ReadResult::Frame:
                break;
        }
        auto request = wire::decodeRequest(body);
        const wire::Reply reply = request
                                      ? serveCall(uac, *request)
                                      : refuse(wire::RPC_X_BAD_STUB_DATA, u"The call is malformed");
        std::vector<std::uint8_t> frame = wire::encode(reply);
        // The caller would drop an answer longer than it reads, and the session with it.
        if (frame.size() - 4 > wire::kMaxReplyFrame)
            frame = wire::encode(
                refuse(wire::RPC_X_BAD_STUB_DATA, u"The answer is larger than allowed"));
        if (wire::writeFrame(out, frame) != 0) return 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    platform::system::ignoreFileSizeSignal();  // a file size limit fails the write instead
    // Stands for a consent prompt the user dismissed (the exit code pkexec gives then).
    if (argc > 1 && std::strcmp(argv[1], "--decline") == 0) return kDeclinedExit;
    int in = -1, out = -1;
    if (!platform::process::takeStandardStreams(in, out)) return 1;
    return serve(in, out);
}
