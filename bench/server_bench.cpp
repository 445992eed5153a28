// The issuing road through the real TesselServer over loopback: status polls (rate and latency
// percentiles, in three placements beside echo servers), a page list of ten 1 MB images, and the
// server's memory while it takes the largest set-up frame and a page list filled to its cap (read
// from outside, in the process's status file). The server runs in a temporary machine folder on a
// free loopback port and ends with the benchmark program.
#include <netinet/in.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "bench/helper_process.h"
#include "bench/process_figures.h"
#include "bench/reference.h"
#include "bench/server_fixture.h"
#include "platform/testing/loopback_client.h"
#include "platform/text/text.h"
#include "server/config.h"

namespace tessel::bench {
namespace {

using Clock = std::chrono::steady_clock;

RunningServer& server() {
    static RunningServer s;
    return s;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
    return v[at];
}

// A trivial echo server on a free loopback port: one connection at a time, every byte sent back
// as it comes. The floor of a request and its reply on this machine: in a process of its own, as
// the real server is (each round trip then switches between processes, as it does with the
// server), or in a thread of the benchmark program's own process, which switches only between
// threads of one process.
class EchoServer {
  public:
    enum class Place { OwnProcess, Thread };

    explicit EchoServer(Place place) {
        if (listen_.port() == 0) return;
        if (place == Place::Thread) {
            thread_ = std::thread([this] { serve(listen_.fd()); });
        } else {
            // The child uses nothing but system calls, as a child of a threaded program must.
            child_ = ::fork();
            if (child_ == 0) {
                serve(listen_.fd());
                ::_exit(0);
            }
            if (child_ < 0) return;
        }
        port_ = listen_.port();
    }
    ~EchoServer() {
        ::shutdown(listen_.fd(), SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        if (child_ > 0) {
            ::kill(child_, SIGKILL);
            ::waitpid(child_, nullptr, 0);
        }
    }
    int port() const { return port_; }
    // The child answering, when it is one.
    pid_t pid() const { return child_; }
    // Keeps the server on the given processors.
    bool pinTo(const cpu_set_t& cpus) {
        if (thread_.joinable())
            return ::pthread_setaffinity_np(thread_.native_handle(), sizeof cpus, &cpus) == 0;
        return child_ > 0 && ::sched_setaffinity(child_, sizeof cpus, &cpus) == 0;
    }

  private:
    static void serve(int listener) {
        for (;;) {
            const int client = ::accept(listener, nullptr, nullptr);
            if (client < 0) return;
            char buffer[16384];
            for (ssize_t n; (n = ::read(client, buffer, sizeof buffer)) > 0;)
                for (ssize_t at = 0, sent; at < n; at += sent)
                    if ((sent = ::send(client, buffer + at, static_cast<std::size_t>(n - at),
                                       MSG_NOSIGNAL)) <= 0)
                        break;
            ::close(client);
        }
    }

    platform::testing::HeldPort listen_{true};
    int port_ = 0;
    pid_t child_ = -1;
    std::thread thread_;
};

// Where the client and the servers run: left to the system, all on one shared processor, or
// the client on one processor and every server on another. Each decides the floor as much as
// what the servers do: a server woken on the client's processor answers as soon as the client
// waits, one woken on another processor costs a cross-processor wake-up every round trip (in a
// virtual machine more than the server's whole answer), and left to itself the system places
// each as it happened to start.
enum class Placement { Unpinned, Shared, Split };
constexpr Placement kPlacements[] = {Placement::Unpinned, Placement::Shared, Placement::Split};
const char* placementName(Placement p) {
    switch (p) {
        case Placement::Unpinned:
            return "unpinned";
        case Placement::Shared:
            return "shared";
        case Placement::Split:
            return "split";
    }
    return "?";
}

// Keeps every thread of a process on the given processors.
void pinProcess(pid_t pid, const cpu_set_t& cpus) {
    std::error_code ec;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        const pid_t tid = std::atoi(task.path().filename().c_str());
        if (tid > 0) ::sched_setaffinity(tid, sizeof cpus, &cpus);
    }
}

// Polls through the same client and frame reader against the real server and three echo
// servers that answer with the request itself (a frame as well): in C in a process of its own
// as the server is (the floor), in C in a thread of the benchmark program's own process, and on
// Qt's sockets in Qt's event loop in a process of its own (the socket layer the server is built
// on). All are measured together, in turns: a block of polls to each in each placement, again
// and again, so a change in the machine's load while the benchmark runs falls on all alike
// instead of showing as a difference between them. Each gives the median of its blocks' rates
// and the percentiles of all its polls.
struct PollFigures {
    double rate = 0;  // polls a second
    double p50 = 0, p99 = 0;
    double cpuUs = 0;  // the answering process's processor time per poll (not for the thread)
    std::string error;
};
enum PollSide { kServer, kEchoProcess, kEchoThread, kEchoQt, kSides };
const char* const kSideNames[kSides] = {"server", "echo-C-process", "echo-C-thread",
                                        "echo-Qt-process"};
struct PollComparison {
    PollFigures at[std::size(kPlacements)][kSides];
};

const PollComparison& pollComparison() {
    static const PollComparison result = [] {
        constexpr int kRounds = 10;
        constexpr int kBlock = 1500;
        PollComparison c;
        auto failAll = [&c](PollSide side, const std::string& why) {
            for (auto& place : c.at) place[side].error = why;
        };
        if (!server().ready()) failAll(kServer, "the server did not start: " + server().errors());
        EchoServer process(EchoServer::Place::OwnProcess), thread(EchoServer::Place::Thread);
        if (process.port() == 0) failAll(kEchoProcess, "the echo server could not listen");
        if (thread.port() == 0) failAll(kEchoThread, "the echo server could not listen");
        HelperProcess qt({"echo"});
        const auto qtPort = qt.pid() > 0 ? qt.line() : std::nullopt;
        if (!qtPort) failAll(kEchoQt, "the Qt echo server did not start");

        cpu_set_t allowed;
        if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) {
            for (int side = 0; side < kSides; ++side)
                failAll(static_cast<PollSide>(side), "the processors could not be read");
            return c;
        }
        std::vector<int> cpus;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &allowed)) cpus.push_back(cpu);
        auto place = [&](Placement p) {
            cpu_set_t clientCpus = allowed, serverCpus = allowed;
            if (p != Placement::Unpinned) {
                CPU_ZERO(&clientCpus);
                CPU_ZERO(&serverCpus);
                CPU_SET(cpus.front(), &clientCpus);
                CPU_SET(p == Placement::Split && cpus.size() > 1 ? cpus[1] : cpus.front(),
                        &serverCpus);
            }
            ::pthread_setaffinity_np(::pthread_self(), sizeof clientCpus, &clientCpus);
            if (server().ready()) pinProcess(server().pid(), serverCpus);
            if (qt.pid() > 0) pinProcess(qt.pid(), serverCpus);
            process.pinTo(serverCpus);
            thread.pinTo(serverCpus);
        };

        struct Side {
            std::unique_ptr<st::Client> client;
            std::u16string expected;
            pid_t pid = -1;  // the answering process
            std::vector<double> rates[std::size(kPlacements)], latencies[std::size(kPlacements)];
            double cpuNs[std::size(kPlacements)] = {};
            int polls[std::size(kPlacements)] = {};
        };
        Side sides[kSides];
        const int ports[kSides] = {server().ready() ? server().port() : 0, process.port(),
                                   thread.port(), qtPort ? std::atoi(qtPort->c_str()) : 0};
        for (int s = 0; s < kSides; ++s) {
            if (ports[s] > 0) sides[s].client = std::make_unique<st::Client>(ports[s]);
            sides[s].expected = s == kServer ? u"CE0900" : u"CE09";
        }
        sides[kServer].pid = server().ready() ? server().pid() : -1;
        sides[kEchoProcess].pid = process.pid();
        sides[kEchoQt].pid = qt.pid();
        const std::string poll = wire(st::request(u"CE09"));
        for (int round = 0; round < kRounds; ++round) {
            for (std::size_t p = 0; p < std::size(kPlacements); ++p) {
                place(kPlacements[p]);
                for (int s = 0; s < kSides; ++s) {
                    PollFigures& figures = c.at[p][s];
                    Side& side = sides[s];
                    if (!figures.error.empty() || !side.client) continue;
                    const double cpuBefore = side.pid > 0 ? cpuNanoseconds(side.pid) : 0;
                    const auto blockStart = Clock::now();
                    for (int i = 0; i < kBlock; ++i) {
                        const auto start = Clock::now();
                        side.client->send(poll);
                        auto reply = side.client->reply();
                        side.latencies[p].push_back(
                            std::chrono::duration<double, std::micro>(Clock::now() - start)
                                .count());
                        if (!reply || reply->substr(35, side.expected.size()) != side.expected) {
                            failAll(static_cast<PollSide>(s),
                                    "no poll reply: " + noReply(*side.client));
                            break;
                        }
                    }
                    const std::chrono::duration<double> took = Clock::now() - blockStart;
                    side.rates[p].push_back(kBlock / took.count());
                    if (side.pid > 0) side.cpuNs[p] += cpuNanoseconds(side.pid) - cpuBefore;
                    side.polls[p] += kBlock;
                }
            }
        }
        place(Placement::Unpinned);
        for (std::size_t p = 0; p < std::size(kPlacements); ++p) {
            for (int s = 0; s < kSides; ++s) {
                PollFigures& figures = c.at[p][s];
                figures.rate = percentile(sides[s].rates[p], 0.5);
                figures.p50 = percentile(sides[s].latencies[p], 0.50);
                figures.p99 = percentile(sides[s].latencies[p], 0.99);
                if (sides[s].pid > 0 && sides[s].polls[p] > 0)
                    figures.cpuUs = sides[s].cpuNs[p] / 1e3 / sides[s].polls[p];
            }
        }
        return c;
    }();
    return result;
}

void polls(benchmark::State& state, std::size_t placement, int side) {
    const PollFigures& figures = pollComparison().at[placement][side];
    for (auto _ : state) {
    }
    if (!figures.error.empty()) {
        state.SkipWithError(figures.error.c_str());
        return;
    }
    state.counters["polls_per_s"] = figures.rate;
    state.counters["p50_us"] = figures.p50;
    state.counters["p99_us"] = figures.p99;
    if (figures.cpuUs > 0) state.counters["cpu_us_per_poll"] = figures.cpuUs;
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
        if (!client.reply()) {
            state.SkipWithError(("no reply to the set-up: " + noReply(client)).c_str());
            return;
        }
        state.ResumeTiming();
        for (const auto& frame : frames) {
            client.send(frame);
            auto reply = client.reply();
            if (!reply || reply->substr(35, 6) != u"CE0100") {
                std::string why = reply ? platform::text::toUtf8(reply->substr(0, 80))
                                        : "no reply: " + noReply(client) + "; " + server().errors();
                state.SkipWithError(("page not accepted: " + why).c_str());
                return;
            }
            sent += frame.size();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(sent));
    state.SetItemsProcessed(state.iterations() * 10);
}

// One memory run: a fresh server and a client whose first small set-up was answered (so what
// the server loads once is not counted); the peak is counted afresh from the size it has then.
class MemoryRun {
  public:
    bool start(benchmark::State& state) {
        server_ = std::make_unique<RunningServer>();
        if (!server_->ready()) {
            state.SkipWithError(("the server did not start: " + server_->errors()).c_str());
            return false;
        }
        client_ = std::make_unique<st::Client>(server_->port());
        client_->setTimeout(300);
        if (!ask(wire(st::request(u"CE00", u"{}")), u"CE0000")) {
            state.SkipWithError("no reply to the first set-up");
            return false;
        }
        resetPeak(server_->pid());
        base_ = statusBytes(server_->pid(), "VmRSS");
        return true;
    }
    // Sends a frame; true when its reply begins with the expected code and result.
    bool ask(const std::string& frame, std::u16string_view expected) {
        client_->send(frame);
        auto reply = client_->reply();
        return reply && reply->size() >= 41 && reply->substr(35, 6) == expected;
    }
    void notePeak() { peak_ = statusBytes(server_->pid(), "VmHWM"); }
    // The peak above the starting size per character, and what the server keeps above it now.
    void report(benchmark::State& state, double characters) {
        const double kept = statusBytes(server_->pid(), "VmRSS") - base_;
        state.counters["peak_B_per_char"] = (peak_ - base_) / characters;
        state.counters["peak_MB"] = (peak_ - base_) / 1e6;
        state.counters["kept_MB"] = kept / 1e6;
    }
    std::string errors() const { return server_->errors(); }

  private:
    std::unique_ptr<RunningServer> server_;
    std::unique_ptr<st::Client> client_;
    double base_ = 0, peak_ = 0;
};

// One set-up frame of the largest length the server takes, nearly all of it the text value of
// the key: an entry the set-up only reads, or one that goes into the parameter text and through
// the message cipher.
void setupPeak(benchmark::State& state, std::u16string_view key) {
    const std::size_t frameChars = tessel::kDefaultMaxFrame;
    const std::u16string head = u"{\"" + std::u16string(key) + u"\":\"";
    const std::size_t valueChars = frameChars - 39 - head.size() - 2;
    const std::string frame =
        wire(st::request(u"CE00", head + std::u16string(valueChars, u'A') + u"\"}"));
    for (auto _ : state) {
        MemoryRun run;
        if (!run.start(state)) return;
        if (!run.ask(frame, u"CE0000")) {
            state.SkipWithError(("the large set-up was not answered: " + run.errors()).c_str());
            return;
        }
        run.notePeak();
        run.report(state, static_cast<double>(frameChars));
    }
}

// Page frames of the largest length until the page list reaches its cap, then a set-up that
// empties the list: the peak per character of the list, and what stays after emptying it.
void pageListPeak(benchmark::State& state) {
    const std::size_t frameChars = tessel::kDefaultMaxFrame;
    const std::size_t cap = server::kDefaultMaxPageList;
    // Each page adds its data after "0000," and a comma to the list.
    const std::size_t dataChars = frameChars - 39 - 5;
    const std::size_t fullPages = cap / (dataChars + 1);
    const std::size_t lastData = cap - fullPages * (dataChars + 1) - 1;
    auto page = [](std::size_t n) {
        std::u16string data(n, u'A');
        for (std::size_t i = 0; i < n; ++i)
            data[i] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[i % 64];
        return wire(st::request(u"CE01", u"0000," + data));
    };
    const std::string full = page(dataChars);
    const std::string last = page(lastData);
    for (auto _ : state) {
        MemoryRun run;
        if (!run.start(state)) return;
        for (std::size_t i = 0; i <= fullPages; ++i) {
            if (!run.ask(i < fullPages ? full : last, u"CE0100")) {
                state.SkipWithError(("a page was not taken: " + run.errors()).c_str());
                return;
            }
        }
        run.notePeak();
        if (!run.ask(wire(st::request(u"CE00", u"{}")), u"CE0000")) {
            state.SkipWithError("the emptying set-up was not answered");
            return;
        }
        run.report(state, static_cast<double>(cap));
    }
}

const bool registered = [] {
    for (std::size_t p = 0; p < std::size(kPlacements); ++p)
        for (int s = 0; s < kSides; ++s)
            benchmark::RegisterBenchmark((std::string("Loopback/CE09-poll/") +
                                          placementName(kPlacements[p]) + "/" + kSideNames[s])
                                             .c_str(),
                                         polls, p, s)
                ->Iterations(1)
                ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Loopback/CE01-ten-1MB-pages", pageList)
        ->Iterations(5)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Memory/CE00-32Mi-value", setupPeak, u"v")
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Memory/CE00-32Mi-printer-value", setupPeak, u"usedefaultprinter")
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Memory/CE01-list-to-cap", pageListPeak)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
}  // namespace tessel::bench
