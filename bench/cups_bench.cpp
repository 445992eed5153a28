// The print road on a kiosk whose printers are CUPS queues of a private cupsd, through the real
// TesselServer and the protocol client: one issue through the printer selection (the default
// queue chosen and judged, then printed) with the kiosk's six queues, 100 and 300 (the requests
// the scheduler served per issue and the issues that did not print are counters), and how long
// a scheduler that cannot be used takes to be reported: one that takes the connection and never
// answers, one that trickles its answer a byte every 50 ms, and one that goes quiet or trickles
// once the dialog's Print was pressed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
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
    if (extra > 0) {
        if (std::string e = kiosk.cupsd.addRawQueues("Tessel_Q", extra); !e.empty()) {
            state.SkipWithError(e.c_str());
            return;
        }
    }
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
    std::size_t requests = 0, notPrinted = 0, issues = 0;
    std::string lastFailure;
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(script) << "print";
        const std::size_t before = kiosk.cupsd.requestsServed();
        state.ResumeTiming();
        auto r = issue(server.port(), setup);
        state.PauseTiming();
        requests += kiosk.cupsd.requestsServed() - before;
        state.ResumeTiming();
        ++issues;
        if (r.out.find("CE02 00 30") == std::string::npos) {
            ++notPrinted;
            lastFailure = r.out + r.err;
        }
    }
    state.counters["queues"] = static_cast<double>(state.range(0));
    state.counters["requests"] = issues ? double(requests) / double(issues) : 0;
    state.counters["not_printed"] = static_cast<double>(notPrinted);
    if (notPrinted) std::fprintf(stderr, "not printed: %s\n", lastFailure.c_str());
}

// A scheduler that cannot be used from the start: the run ends with no printer available.
void brokenScheduler(benchmark::State& state, platform::testing::FakeScheduler::Mode mode) {
    platform::testing::FakeScheduler broken(mode);
    Env spooler("TESSEL_SPOOLER", "cups");
    RunningServer server({"libCiphra.so", "libVistrel.so"});
    if (!server.ready()) {
        state.SkipWithError(server.errors().c_str());
        return;
    }
    for (auto _ : state) {
        auto r = issue(server.port(), TESSEL_SAMPLES "/sample.json");
        if (r.out.find("CE02 02 01") == std::string::npos) {
            state.SkipWithError(("not reported as no printer: " + r.out + r.err).c_str());
            return;
        }
    }
}

// A scheduler that goes quiet (or trickles) once the dialog's Print was pressed: the run ends
// as a failed print.
void afterPrint(benchmark::State& state, platform::testing::SchedulerProxy::Mode mode) {
    platform::testing::CupsKiosk kiosk;
    if (!kiosk.problem().empty()) {
        state.SkipWithError(kiosk.problem().c_str());
        return;
    }
    kiosk.cupsd.run("lpadmin", {"-d", "Tessel_Socket"});
    Env spooler("TESSEL_SPOOLER", "cups");
    const fs::path script = kiosk.cupsd.folder() / "dialog-script";
    Env dialog("TESSEL_PRINTER_DIALOG_SCRIPT", script.string());
    const fs::path pressed = script.string() + ".done";
    platform::testing::SchedulerProxy proxy(kiosk.cupsd.port(), mode,
                                            [pressed] { return fs::exists(pressed); });
    RunningServer server({"libCiphra.so", "libVistrel.so"});
    if (!server.ready()) {
        state.SkipWithError(server.errors().c_str());
        return;
    }
    const fs::path setup = dialogSetup(kiosk.cupsd.folder());
    for (auto _ : state) {
        std::ofstream(script) << "print";
        auto r = issue(server.port(), setup);
        if (r.out.find("CE02 02 31") == std::string::npos) {
            state.SkipWithError(("not reported as a failed print: " + r.out + r.err).c_str());
            return;
        }
    }
}

const bool registered = [] {
    using Mode = platform::testing::FakeScheduler::Mode;
    using After = platform::testing::SchedulerProxy::Mode;
    benchmark::RegisterBenchmark("Cups/dialog-issue", dialogIssue)
        ->Arg(6)
        ->Arg(100)
        ->Iterations(3)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Cups/dialog-issue", dialogIssue)
        ->Arg(300)
        ->Iterations(10)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Cups/silent-scheduler", brokenScheduler, Mode::Silent)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Cups/trickling-scheduler", brokenScheduler, Mode::Trickle)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Cups/quiet-after-print", afterPrint, After::Quiet)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Cups/trickling-after-print", afterPrint, After::Trickle)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
}  // namespace tessel::bench
