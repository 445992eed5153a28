#include "elevation/provider.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "elevation/broker.h"
#include "elevation/wire.h"
#include "platform/process/process.h"
#include "platform/system/codefile.h"
#include "platform/system/files.h"
#include "platform/text/codepage.h"

namespace elevation {

using namespace platform::com;
namespace process = platform::process;
namespace text = platform::text;

namespace {

constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = hr(0x80080005);
constexpr int kDeclinedExit = 126;  // pkexec: the user dismissed the prompt
constexpr auto kEndWait = std::chrono::seconds(5);

// The elevated object: each call of a private operation becomes one frame to the host and
// one frame back, one call at a time.
class HostProxy : public Implements<Dispatch> {
  public:
    HostProxy(process::Child child, process::Pipe toHost, process::Pipe fromHost)
        : child_(std::move(child)), toHost_(std::move(toHost)), fromHost_(std::move(fromHost)) {}

    ~HostProxy() override {
        std::lock_guard lock(mutex_);
        end();
    }

    void* QueryInterface(const Guid& iid) override {
        if (iid == IID_IUAC) return static_cast<Dispatch*>(this);
        return Implements<Dispatch>::QueryInterface(iid);
    }
    HRESULT GetIDsOfNames(std::u16string_view name, DispId& id) override {
        return guard(u"TesselUAC",
                     [&] { return detail::idOfName(UAC::members().info(), name, id); });
    }
    const TypeInfo* GetTypeInfo() override { return &UAC::members().info(); }

    HRESULT Invoke(DispId id, unsigned kinds, std::vector<Variant>& args, Variant* result,
                   ExcepInfo* excep) override {
        return guardInvoke(u"TesselUAC", excep, [&]() -> HRESULT {
            const Operation* op = privateOperation(id);
            if (!op || !(kinds & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
            if (args.size() != op->params.size()) return DISP_E_BADPARAMCOUNT;
            wire::Request request{id, {}};
            for (std::size_t i = 0; i < args.size(); ++i) {
                if (op->params[i].second == Kind::Long) {
                    request.args.emplace_back(args[i].toI4());
                } else {
                    // Passed as a zero-terminated ANSI string.
                    std::u16string s = args[i].toText();
                    if (auto nul = s.find(u'\0'); nul != std::u16string::npos) s.resize(nul);
                    const auto bytes = text::toAnsi(s);
                    request.args.emplace_back(
                        wire::AnsiText{std::string(bytes.begin(), bytes.end())});
                }
            }
            std::lock_guard lock(mutex_);
            auto reply = exchange(request);
            if (!reply) {
                end();
                return wire::RPC_E_DISCONNECTED;
            }
            if (FAILED(reply->status)) {
                if (excep) *excep = {reply->status, u"TesselUAC", reply->description};
                return DISP_E_EXCEPTION;
            }
            if (result) {
                if (const auto* i = std::get_if<std::int32_t>(&reply->result))
                    *result = Variant(*i);
                else if (const auto* t = std::get_if<std::u16string>(&reply->result))
                    *result = Variant(*t);
                else
                    *result = Variant();
            }
            return S_OK;
        });
    }

  private:
    std::optional<wire::Reply> exchange(const wire::Request& request) {
        if (toHost_.writeEnd() < 0) return std::nullopt;
        if (wire::writeFrame(toHost_.writeEnd(), wire::encode(request)) != 0) return std::nullopt;
        std::vector<std::uint8_t> body;
        if (wire::readFrame(fromHost_.readEnd(), body, wire::kMaxReplyFrame) !=
            wire::ReadResult::Frame)
            return std::nullopt;
        return wire::decodeReply(body);
    }

    // Ends the session: the host sees the end of its input and leaves; one that does not is
    // ended.
    void end() {
        if (toHost_.writeEnd() < 0) return;
        toHost_.closeWrite();
        const auto deadline = std::chrono::steady_clock::now() + kEndWait;
        std::uint8_t buffer[256];
        std::size_t got = 0;
        while (fromHost_.readEnd() >= 0 &&
               process::readSome(fromHost_.readEnd(), buffer, sizeof buffer, got, deadline) ==
                   process::ReadStatus::Data) {
        }
        fromHost_.closeRead();
        if (child_.running() && !child_.exited()) {
            child_.killGroup();
            child_.wait();
        }
    }

    std::mutex mutex_;
    process::Child child_;
    process::Pipe toHost_;
    process::Pipe fromHost_;
};

HRESULT startHost(Launch launch, const std::filesystem::path& host, const Guid& iid,
                  std::shared_ptr<Unknown>& out) {
    out = nullptr;
    // The host runs with raised rights: only from where no other user could have swapped it.
    if (auto why = platform::system::unsafeProgramPath(host)) {
        std::fprintf(stderr, "TesselUAC: refusing to start the elevated host: %s\n", why->c_str());
        return CO_E_SERVER_EXEC_FAILURE;
    }
    process::Pipe toHost, fromHost;
    if (toHost.create() != 0 || fromHost.create() != 0) return CO_E_SERVER_EXEC_FAILURE;
    process::SpawnOptions options;
    if (launch == Launch::Pkexec) options.argv.push_back("pkexec");
    options.argv.push_back(host.string());
    if (launch == Launch::Declined) options.argv.push_back("--decline");
    options.stdinFd = toHost.readEnd();
    options.stdoutFd = fromHost.writeEnd();
    options.stderrFd = 2;
    process::Child child;
    if (process::spawn(options, child) != 0) return CO_E_SERVER_EXEC_FAILURE;
    toHost.closeRead();
    fromHost.closeWrite();

    std::vector<std::uint8_t> body;
    std::optional<wire::Reply> greeting;
    if (wire::readFrame(fromHost.readEnd(), body) == wire::ReadResult::Frame)
        greeting = wire::decodeReply(body);
    const auto* version = greeting ? std::get_if<std::int32_t>(&greeting->result) : nullptr;
    if (!greeting || greeting->status != S_OK || !version || *version != wire::kProtocolVersion) {
        toHost.closeWrite();
        fromHost.closeRead();
        const int status = child.wait();
        return process::exitCodeOf(status) == kDeclinedExit ? HRESULT_ERROR_CANCELLED
                                                            : CO_E_SERVER_EXEC_FAILURE;
    }
    auto proxy =
        std::make_shared<HostProxy>(std::move(child), std::move(toHost), std::move(fromHost));
    void* p = proxy->QueryInterface(iid);
    if (!p) return E_NOINTERFACE;
    out = proxy;
    return S_OK;
}

}  // namespace

ElevationProvider hostProvider(Launch launch, std::filesystem::path host) {
    return [launch, host](const Guid&, const Guid& iid, std::shared_ptr<Unknown>& out) {
        return guard(u"TesselUAC", [&] { return startHost(launch, host, iid, out); });
    };
}

std::filesystem::path hostProgram() {
    static const int anchor = 0;
    return platform::system::moduleFile(&anchor).parent_path() / "tessel-uac-host";
}

ElevationProvider defaultProvider() {
    Launch launch = Launch::Pkexec;
    if (const char* v = std::getenv("TESSEL_UAC_PROVIDER")) {
        if (std::string_view(v) == "same-user") launch = Launch::SameUser;
        if (std::string_view(v) == "declined") launch = Launch::Declined;
    }
    return hostProvider(launch, hostProgram());
}

}  // namespace elevation
