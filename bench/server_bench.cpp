// The issuing road through the real TesselServer over loopback: status polls (rate and latency
// percentiles) and a page list of ten 1 MB images. The server runs in a temporary machine folder
// on a free loopback port and ends with the benchmark program.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "bench/reference.h"
#include "platform/text/text.h"
#include "server/tests/server_process.h"

namespace tessel::bench {
namespace {

namespace st = tessel::server::testing;
using Clock = std::chrono::steady_clock;

class RunningServer {
  public:
    RunningServer() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        std::string ini = "[SYSTEM]\r\nLocalIP=127.0.0.1\r\nPORT=" + std::to_string(port_) + "\r\n";
        server_ = std::make_unique<st::ServerProcess>(machine_.path(), ini);
        ready_ = server_->waitListening(port_);
    }
    bool ready() const { return ready_; }
    int port() const { return port_; }
    std::string errors() const { return server_->errors(); }

  private:
    platform::testing::TempMachine machine_;
    int port_ = st::freePort();
    std::unique_ptr<st::ServerProcess> server_;
    bool ready_ = false;
};

RunningServer& server() {
    static RunningServer s;
    return s;
}

std::string wire(std::u16string_view frame) {
    auto bytes = platform::text::toAnsi(frame);
    return {bytes.begin(), bytes.end()};
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
    return v[at];
}

void polls(benchmark::State& state) {
    if (!server().ready()) {
        state.SkipWithError(("the server did not start: " + server().errors()).c_str());
        return;
    }
    st::Client client(server().port());
    const std::string poll = wire(st::request(u"CE09"));
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        auto start = Clock::now();
        client.send(poll);
        auto reply = client.reply();
        latencies.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (!reply || reply->substr(35, 6) != u"CE0900") {
            state.SkipWithError("no poll reply");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["p50_us"] = percentile(latencies, 0.50);
    state.counters["p99_us"] = percentile(latencies, 0.99);
}

void pageList(benchmark::State& state) {
    if (!server().ready()) {
        state.SkipWithError(("the server did not start: " + server().errors()).c_str());
        return;
    }
    st::Client client(server().port());
    // Ten 1 MB images, each as the Base64 text of one CE01 frame.
    std::vector<std::string> frames;
    for (int i = 0; i < 10; ++i) {
        auto image = randomBytes(1024 * 1024, static_cast<std::uint32_t>(i + 1));
        std::u16string body = u"000" + platform::text::fromUtf8(std::to_string(i)) + u"," +
                              platform::text::toBase64(image);
        frames.push_back(wire(st::request(u"CE01", body)));
    }
    const std::string reset = wire(st::request(u"CE00", u"{}"));
    std::size_t sent = 0;
    for (auto _ : state) {
        state.PauseTiming();
        client.send(reset);  // a new issue empties the page list
        client.reply();
        state.ResumeTiming();
        for (const auto& frame : frames) {
            client.send(frame);
            auto reply = client.reply();
            if (!reply || reply->substr(35, 6) != u"CE0100") {
                std::string why = reply ? platform::text::toUtf8(reply->substr(0, 80))
                                        : "no reply: " + server().errors();
                state.SkipWithError(("page not accepted: " + why).c_str());
                return;
            }
            sent += frame.size();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(sent));
    state.SetItemsProcessed(state.iterations() * 10);
}

const bool registered = [] {
    benchmark::RegisterBenchmark("Loopback/CE09-poll", polls)
        ->Iterations(20000)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Loopback/CE01-ten-1MB-pages", pageList)
        ->Iterations(5)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
}  // namespace tessel::bench
