// The print road on a kiosk whose printers are CUPS queues of a private cupsd, through the real
// TesselServer and the protocol client: one issue through the printer selection (the default
// queue chosen and judged, then printed) with the kiosk's six queues and with a hundred more,
// and how long a scheduler that takes the connection and never answers takes to be reported
// as a failed print.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "bench/server_fixture.h"
#include "platform/testing/cupsd.h"
#include "platform/testing/fake_scheduler.h"
#include "platform/testing/run_program.h"

namespace tessel::bench {
namespace {

namespace fs = std::filesystem;

// The sample set-up with the printer selection shown.
fs::path dialogSetup(const fs::path& folder) {
    std::ifstream in(TESSEL_SAMPLES "/sample.json");
    std::string json((std::istreambuf_iterator<char>(in)), {});
    const std::string key = "\"usedefaultprinter\": \"1\"";
    if (const auto at = json.find(key); at != std::string::npos)
        json.replace(at, key.size(), "\"usedefaultprinter\": \"0\"");
    const fs::path file = folder / "dialog-setup.json";
    std::ofstream(file) << json;
    return file;
}

platform::testing::ProgramResult issue(int port, const fs::path& setup) {
    return platform::testing::runProgram(
        (platform::testing::binFolder() / "tessel-client").string(),
        {"--port", std::to_string(port), "setup", setup.string(), "page",
         TESSEL_SAMPLES "/page1.png", "run"});
}

class Env {
  public:
    Env(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~Env() { previous_ ? setenv(name_, previous_->c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

void dialogIssue(benchmark::State& state) {
    const int extra = static_cast<int>(state.range(0)) - 6;
    platform::testing::CupsKiosk kiosk;
    if (!kiosk.problem().empty()) {
        state.SkipWithError(kiosk.problem().c_str());
        return;
    }
    for (int i = 0; i < extra; ++i)
        kiosk.cupsd.addQueue("Tessel_Q" + std::to_string(i), "socket://192.0.2.1");
    kiosk.cupsd.run("lpadmin", {"-d", "Tessel_Socket"});
    Env spooler("TESSEL_SPOOLER", "cups");
    const fs::path script = kiosk.cupsd.folder() / "dialog-script";
    Env dialog("TESSEL_PRINTER_DIALOG_SCRIPT", script.string());
    RunningServer server({"libCiphra.so", "libVistrel.so"});
    if (!server.ready()) {
        state.SkipWithError(server.errors().c_str());
        return;
    }
    const fs::path setup = dialogSetup(kiosk.cupsd.folder());
    for (auto _ : state) {
        std::ofstream(script) << "print";
        auto r = issue(server.port(), setup);
        if (r.out.find("CE02 00 30") == std::string::npos) {
            state.SkipWithError(("not printed: " + r.out + r.err).c_str());
            return;
        }
    }
    state.counters["queues"] = static_cast<double>(state.range(0));
}

void silentScheduler(benchmark::State& state) {
    platform::testing::FakeScheduler silent(platform::testing::FakeScheduler::Mode::Silent);
    Env spooler("TESSEL_SPOOLER", "cups");
    RunningServer server({"libCiphra.so", "libVistrel.so"});
    if (!server.ready()) {
        state.SkipWithError(server.errors().c_str());
        return;
    }
    for (auto _ : state) {
        auto r = issue(server.port(), TESSEL_SAMPLES "/sample.json");
        if (r.out.find("CE02 02 31") == std::string::npos) {
            state.SkipWithError(("not reported as a failed print: " + r.out + r.err).c_str());
            return;
        }
    }
}

const bool registered = [] {
    benchmark::RegisterBenchmark("Cups/dialog-issue", dialogIssue)
        ->Arg(6)
        ->Arg(106)
        ->Iterations(3)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Cups/silent-scheduler", silentScheduler)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
}  // namespace tessel::bench
