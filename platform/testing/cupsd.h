// Test support: a private CUPS scheduler for the life of a test, in the test's own temporary
// folder, listening on 127.0.0.1 and a free port, named to the code under test by CUPS_SERVER
// (and CUPS_SERVERROOT), stopped by its PID. Queues are added with the real lpadmin; a loopback
// listener stands as a network printer and records the bytes of each job it receives.
//
// Use TESSEL_REQUIRE_CUPSD() at the start of a test or its SetUp: without cupsd the test is
// skipped with a clear message, unless it runs under CI (CI or TESSEL_REQUIRE_REAL set), where
// a missing cupsd fails it. The test's program is declared with tessel_test(... REAL)
// (real_label.h).
#pragma once

#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/process/process.h"
#include "platform/testing/loopback_client.h"
#include "platform/testing/real_label.h"
#include "platform/testing/run_program.h"
#include "platform/testing/wait.h"

namespace platform::testing {

inline const char* kCupsd = "/usr/sbin/cupsd";

// Why the tests against a real cupsd cannot run here; nullopt when they can.
inline std::optional<std::string> cupsdMissing() {
    if (::access(kCupsd, X_OK) == 0 && ::access("/usr/sbin/lpadmin", X_OK) == 0)
        return std::nullopt;
    return std::string(
        "cupsd or lpadmin is not installed (scripts/install-packages.sh installs "
        "cups-daemon and cups-client)");
}

#define TESSEL_REQUIRE_CUPSD()                                                             \
    do {                                                                                   \
        if (auto unlabelled = ::platform::testing::realLabelMissing(                       \
                ::platform::testing::realComponentsRequired()))                            \
            FAIL() << *unlabelled;                                                         \
        if (auto missing = ::platform::testing::cupsdMissing()) {                          \
            if (::platform::testing::realComponentsRequired())                             \
                FAIL() << *missing << "; under CI the tests against a real CUPS must run"; \
            GTEST_SKIP() << "skipped, no real CUPS here: " << *missing;                    \
        }                                                                                  \
    } while (0)

// A network printer on loopback: accepts connections one after another and keeps the bytes of
// each finished one (a job).
class JobListener {
  public:
    JobListener() = default;
    ~JobListener() { server_.stop(); }
    JobListener(const JobListener&) = delete;
    JobListener& operator=(const JobListener&) = delete;

    int port() const { return server_.port(); }

    // The bytes of job number `n` (0-based) once it has arrived; nullopt when it has not
    // within `limit` (a bound on a real printer's delivery, not a measurement).
    std::optional<std::string> job(std::size_t n,
                                   std::chrono::seconds limit = std::chrono::seconds(60)) {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, limit, [&] { return jobs_.size() > n; })) return std::nullopt;
        return jobs_[n];
    }

  private:
    // Reads one job whole, until the printer's peer closes.
    void receive(int c) {
        std::string bytes;
        char buf[65536];
        for (;;) {
            pollfd cf[2] = {{c, POLLIN, 0}, {server_.stopFd(), POLLIN, 0}};
            if (::poll(cf, 2, -1) < 0) continue;
            if (cf[1].revents) {
                ::close(c);
                return;
            }
            const ssize_t n = ::read(c, buf, sizeof buf);
            if (n <= 0) break;
            bytes.append(buf, std::size_t(n));
        }
        ::close(c);
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(bytes));
        arrived_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> jobs_;
    LoopbackServer server_{[this](int c) { receive(c); }};
};

// A PostScript printer's PPD: a language level and no filter of its own (its make and model
// does not say PostScript, so the PPD alone tells).
inline const char* kPostscriptPpd = R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "TESSELPS.PPD"
*Manufacturer: "Tessel"
*Product: "(Tessel Laser 3)"
*ModelName: "Tessel Laser 3"
*ShortNickName: "Tessel Laser 3"
*NickName: "Tessel Laser 3"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*OpenUI *PageSize: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 18 577 824"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
)PPD";

// The scheduler runs as the user who runs the test, as CUPS's own test suite runs it: root
// hands its programs to the lp user as a system's scheduler does; any other user is the
// scheduler's user, group and system group (its administrator), with every folder of the
// scheduler in the test's folder. Its programs come from a folder of its own
// (<folder>/serverbin) that points at CUPS's; a backend only root may run (usb, cups-pdf) is a
// stand-in there for another user, so its queues can still be added and held, and a job that
// reaches one fails saying why.
class PrivateCupsd {
  public:
    PrivateCupsd() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tessel-cupsd-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return;
        folder_ = pattern;
        // The scheduler's own user (lp) reaches its folders below this one.
        std::filesystem::permissions(folder_, std::filesystem::perms(0755));
        const bool asRoot = ::getuid() == 0;
        uid_t runUser = ::getuid();
        gid_t runGroup = ::getgid();
        std::string user = "lp", groupName = "lp", systemGroup = "root";
        if (const passwd* lp = ::getpwnam("lp"); lp && asRoot) {
            runUser = lp->pw_uid;
            runGroup = lp->pw_gid;
        } else if (!asRoot) {
            const passwd* me = ::getpwuid(runUser);
            const ::group* mine = ::getgrgid(runGroup);
            user = me ? me->pw_name : std::to_string(runUser);
            groupName = mine ? mine->gr_name : std::to_string(runGroup);
            systemGroup = groupName;
        }
        for (const char* sub : {"spool", "spool/tmp", "cache", "state", "log"}) {
            std::filesystem::create_directories(folder_ / sub);
            (void)!::chown((folder_ / sub).c_str(), runUser, runGroup);
        }
        std::filesystem::permissions(folder_ / "spool", std::filesystem::perms(0710));
        std::filesystem::permissions(folder_ / "spool/tmp", std::filesystem::perms(01770));
        makeServerBin();
        // Free a moment ago: the scheduler reads its port from the configuration.
        port_ = HeldPort(false).port();
        const std::string root = folder_.string();
        std::ofstream(folder_ / "cupsd.conf")
            << "Listen 127.0.0.1:" << port_ << "\n"
            << "LogLevel info\nAccessLogLevel all\nWebInterface No\nBrowsing "
               "No\nBrowseLocalProtocols none\n"
               "DefaultAuthType None\nDefaultShared No\nMaxJobs 0\nPreserveJobHistory No\n"
               "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
               "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
        std::ofstream(folder_ / "cups-files.conf")
            << "FileDevice Yes\nUser " << user << "\nGroup " << groupName << "\nSystemGroup "
            << systemGroup << "\n"
            << "ServerRoot " << root << "\nServerBin " << root << "/serverbin\n"
            << "RequestRoot " << root << "/spool\n"
            << "TempDir " << root << "/spool/tmp\nCacheDir " << root << "/cache\n"
            << "StateDir " << root << "/state\nErrorLog " << root << "/log/error_log\n"
            << "AccessLog " << root << "/log/access_log\nPageLog " << root << "/log/page_log\n"
            << "Printcap " << root << "/printcap\n";
        std::ofstream(folder_ / "postscript.ppd") << kPostscriptPpd;

        remember("CUPS_SERVER");
        remember("CUPS_SERVERROOT");
        ::setenv("CUPS_SERVER", ("127.0.0.1:" + std::to_string(port_)).c_str(), 1);
        ::setenv("CUPS_SERVERROOT", root.c_str(), 1);

        process::SpawnOptions options;
        options.argv = {kCupsd, "-f", "-c", root + "/cupsd.conf", "-s", root + "/cups-files.conf"};
        if (process::spawn(options, child_) != 0) return;
        // The scheduler is ready once it accepts connections (or has given up).
        waitFor([&] { return accepting() || child_.exited().has_value(); },
                std::chrono::seconds(15));
        running_ = accepting();
    }
    ~PrivateCupsd() {
        if (child_.running()) {
            ::kill(child_.pid(), SIGTERM);
            child_.wait();
        }
        for (const auto& [name, value] : previous_)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        std::error_code ec;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
    }
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    bool running() const { return running_; }
    int port() const { return port_; }
    const std::filesystem::path& folder() const { return folder_; }
    // The scheduler's error log, for failure messages.
    std::string log() const {
        std::ifstream in(folder_ / "log/error_log");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Runs a CUPS command (lpadmin, lpstat, lp, cancel, cupsdisable ...) against this server.
    ProgramResult run(const std::string& program, const std::vector<std::string>& args) const {
        return runProgram(program, args);
    }
    // Adds an enabled queue: lpadmin -p <name> -E -v <uri> <model arguments>.
    ProgramResult addQueue(const std::string& name, const std::string& uri,
                           const std::vector<std::string>& model = {"-m", "raw"}) const {
        std::vector<std::string> args = {"-p", name, "-E", "-v", uri};
        args.insert(args.end(), model.begin(), model.end());
        return run("lpadmin", args);
    }

    // Adds `count` enabled raw queues <prefix>0, <prefix>1, ... on `uri` over one connection
    // (much faster than one lpadmin each); empty when the server took them all, else its answer.
    std::string addRawQueues(const std::string& prefix, int count,
                             const std::string& uri = "socket://192.0.2.1") const {
        http_t* http = httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1,
                                    30000, nullptr);
        if (!http) return "no connection to the scheduler";
        std::string error;
        for (int i = 0; i < count && error.empty(); ++i) {
            ipp_t* r = ippNewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER);
            char printer[HTTP_MAX_URI];
            httpAssembleURIf(HTTP_URI_CODING_ALL, printer, sizeof printer, "ipp", nullptr,
                             "localhost", port_, "/printers/%s%d", prefix.c_str(), i);
            ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printer);
            ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                         cupsUser());
            ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, uri.c_str());
            ippAddBoolean(r, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
            ippAddInteger(r, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
            ippDelete(cupsDoRequest(http, r, "/admin/"));
            if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) error = cupsLastErrorString();
        }
        httpClose(http);
        return error;
    }

    // How many HTTP requests the scheduler has served so far (its access log has one line a
    // request, written just after the answer: the count is read once it holds still).
    std::size_t requestsServed() const {
        const auto count = [&] {
            std::ifstream in(folder_ / "log/access_log");
            std::size_t lines = 0;
            for (std::string line; std::getline(in, line);) ++lines;
            return lines;
        };
        std::size_t last = count();
        for (int i = 0; i < 40; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const std::size_t now = count();
            if (now == last) break;
            last = now;
        }
        return last;
    }

    // The queues of a kiosk's mix, one of each kind the admissibility policy tells apart:
    //   Tessel_Forward  ipp://127.0.0.1:<this port>/printers/Tessel_Socket  (to another spooler)
    //   Tessel_File     file:<folder>/out.prn, raw
    //   Tessel_PDF      cups-pdf:/ with the CUPS-PDF PPD (a virtual printer)
    //   Tessel_PS       socket to the listener, with a PostScript PPD
    //   Tessel_Socket   socket://127.0.0.1:<listener>, raw (a network printer)
    //   Tessel_USB      usb://Tessel/Laser?serial=T1, raw (no device needed to add it)
    // Empty when every queue was added, else what lpadmin said.
    std::string addKioskQueues(int listenerPort) const {
        const std::string socket = "socket://127.0.0.1:" + std::to_string(listenerPort);
        struct Q {
            std::string name, uri;
            std::vector<std::string> model;
        } queues[] = {
            {"Tessel_Socket", socket, {"-m", "raw"}},
            {"Tessel_Forward",
             "ipp://127.0.0.1:" + std::to_string(port_) + "/printers/Tessel_Socket",
             {"-m", "raw"}},
            {"Tessel_File", "file://" + (folder_ / "out.prn").string(), {"-m", "raw"}},
            {"Tessel_PDF", "cups-pdf:/", {"-m", "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"}},
            {"Tessel_PS", socket, {"-P", (folder_ / "postscript.ppd").string()}},
            {"Tessel_USB", "usb://Tessel/Laser?serial=T1", {"-m", "raw"}},
        };
        std::string errors;
        for (const auto& q : queues) {
            auto r = addQueue(q.name, q.uri, q.model);
            if (r.exitCode != 0) errors += q.name + ": " + r.err;
        }
        return errors;
    }

    // Sets a queue's printer-state-reasons as a printer would report them (for example
    // "media-empty-error"); empty when the server took them, else its answer.
    std::string setStateReasons(const std::string& queue,
                                const std::vector<std::string>& reasons) const {
        ipp_t* r = ippNewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER);
        char uri[HTTP_MAX_URI];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", port_,
                         "/printers/%s", queue.c_str());
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     cupsUser());
        std::vector<const char*> values;
        for (const auto& v : reasons) values.push_back(v.c_str());
        ippAddStrings(r, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "printer-state-reasons",
                      int(values.size()), nullptr, values.data());
        http_t* http = httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1,
                                    30000, nullptr);
        if (!http) return "no connection to the scheduler";
        ippDelete(cupsDoRequest(http, r, "/admin/"));
        httpClose(http);
        return cupsLastError() <= IPP_STATUS_OK_CONFLICTING ? "" : cupsLastErrorString();
    }

  private:
    // <folder>/serverbin: CUPS's program folders, and a backend folder of links to CUPS's
    // backends, each a stand-in when this user may not run it.
    void makeServerBin() const {
        namespace fs = std::filesystem;
        const fs::path cups = "/usr/lib/cups", bin = folder_ / "serverbin";
        std::error_code ec;
        fs::create_directories(bin / "backend", ec);
        for (const auto& entry : fs::directory_iterator(cups, ec)) {
            const fs::path name = entry.path().filename();
            if (name != "backend") fs::create_directory_symlink(entry.path(), bin / name, ec);
        }
        for (const auto& entry : fs::directory_iterator(cups / "backend", ec)) {
            const fs::path name = entry.path().filename();
            if (::access(entry.path().c_str(), X_OK) == 0) {
                fs::create_symlink(entry.path(), bin / "backend" / name, ec);
                continue;
            }
            // Asked to list its devices it finds none; asked to print it fails with the reason.
            const fs::path standIn = bin / "backend" / name;
            std::ofstream(standIn) << "#!/bin/sh\n[ $# -eq 0 ] && exit 0\n"
                                   << "echo \"ERROR: the " << name.string()
                                   << " backend runs only for root; this private scheduler runs as "
                                      "$(id -un)\" >&2\nexit 1\n";
            fs::permissions(standIn, fs::perms(0755), ec);
        }
    }
    bool accepting() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(std::uint16_t(port_));
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }
    void remember(const char* name) {
        const char* v = std::getenv(name);
        previous_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }

    std::filesystem::path folder_;
    int port_ = -1;
    process::Child child_;
    bool running_ = false;
    std::vector<std::pair<std::string, std::optional<std::string>>> previous_;
};

// A kiosk's printers on a private cupsd: the loopback network printer, then the scheduler with
// the kiosk's mix of queues (PrivateCupsd::addKioskQueues) printing to it.
class CupsKiosk {
  public:
    CupsKiosk() {
        if (!cupsd.running())
            problem_ = "the private cupsd did not start: " + cupsd.log();
        else if (std::string errors = cupsd.addKioskQueues(printer.port()); !errors.empty())
            problem_ = "lpadmin: " + errors + cupsd.log();
    }
    // Empty when the scheduler runs with every queue added, else what went wrong.
    const std::string& problem() const { return problem_; }

    JobListener printer;
    PrivateCupsd cupsd;

  private:
    std::string problem_;
};

}  // namespace platform::testing
