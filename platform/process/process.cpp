#include "platform/process/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/text/codepage.h"
#include "platform/text/strings.h"

extern char** environ;

namespace platform::process {

using platform::text::equalsNoCase;

// ---------------------------------------------------------------------------------------------
// Snapshot and termination

namespace {

std::string readFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string baseName(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The program file of a process: the target of /proc/<pid>/exe, else (another user's process,
// a kernel thread) the first word of its command line, else its short name.
std::string exeName(const std::string& dir) {
    char buf[4096];
    ssize_t n = ::readlink((dir + "/exe").c_str(), buf, sizeof buf - 1);
    if (n > 0) {
        std::string target(buf, std::size_t(n));
        const std::string deleted = " (deleted)";
        if (target.size() > deleted.size() &&
            target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0)
            target.resize(target.size() - deleted.size());
        return baseName(target);
    }
    std::ifstream cmd(dir + "/cmdline", std::ios::binary);
    std::string first;
    std::getline(cmd, first, '\0');
    if (!first.empty()) return baseName(first);
    return readFirstLine(dir + "/comm");
}

}  // namespace

std::vector<ProcessEntry> snapshot() {
    std::vector<ProcessEntry> out;
    DIR* proc = ::opendir("/proc");
    if (!proc) return out;
    while (dirent* e = ::readdir(proc)) {
        const std::string name = e->d_name;
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
        const std::string dir = "/proc/" + name;
        ProcessEntry entry;
        entry.pid = static_cast<pid_t>(std::stol(name));
        std::ifstream status(dir + "/status");
        if (!status) continue;  // ended meanwhile
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("PPid:", 0) == 0) entry.parentPid = pid_t(std::atol(line.c_str() + 5));
            if (line.rfind("State:", 0) == 0) {
                auto state = line.find_first_not_of(" \t", 6);
                entry.zombie =
                    state != std::string::npos && (line[state] == 'Z' || line[state] == 'X');
            }
            if (line.rfind("Threads:", 0) == 0)
                entry.threads = std::uint32_t(std::atol(line.c_str() + 8));
        }
        entry.exeFile = platform::text::fromUtf8(exeName(dir));
        out.push_back(std::move(entry));
    }
    ::closedir(proc);
    std::sort(out.begin(), out.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return out;
}

std::u16string programName(pid_t pid) {
    return platform::text::fromUtf8(exeName("/proc/" + std::to_string(pid)));
}

bool terminate(pid_t pid) {
    if (pid <= 0) return false;
    return ::kill(pid, SIGKILL) == 0;
}

// ---------------------------------------------------------------------------------------------
// Command lines

namespace {

std::u16string_view skipBlanks(std::u16string_view s) {
    while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
    return s;
}

// The first word of a command line (quotes removed) and the rest after it.
std::pair<std::u16string, std::u16string_view> firstWord(std::u16string_view s) {
    s = skipBlanks(s);
    std::u16string word;
    bool quoted = false;
    std::size_t i = 0;
    for (; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c == u'"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == u' ' || c == u'\t')) break;
        word += c;
    }
    return {word, s.substr(i)};
}

bool isInterpreter(const std::u16string& word) {
    if (word.empty()) return false;
    if (equalsNoCase(word, u"%COMSPEC%")) return true;
    if (const char* comspec = std::getenv("COMSPEC");
        comspec && *comspec && word == platform::text::fromUtf8(comspec))
        return true;
    std::u16string base = word.substr(
        word.find_last_of(u"\\/") == std::u16string::npos ? 0 : word.find_last_of(u"\\/") + 1);
    return equalsNoCase(base, u"cmd.exe") || equalsNoCase(base, u"cmd");
}

bool isRunSwitch(const std::u16string& word) {
    return equalsNoCase(word, u"/c") || equalsNoCase(word, u"/k");
}

// Splits a command line as the Windows runtime splits it: blanks separate arguments, double
// quotes group, 2n backslashes before a quote give n backslashes, 2n+1 give n and a quote.
std::vector<std::u16string> splitWindows(std::u16string_view s) {
    std::vector<std::u16string> args;
    std::size_t i = 0;
    while (true) {
        while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
        if (i >= s.size()) break;
        std::u16string arg;
        bool quoted = false;
        for (; i < s.size(); ++i) {
            char16_t c = s[i];
            if (c == u'\\') {
                std::size_t n = 0;
                while (i < s.size() && s[i] == u'\\') ++n, ++i;
                if (i < s.size() && s[i] == u'"') {
                    arg.append(n / 2, u'\\');
                    if (n % 2) {
                        arg += u'"';
                        continue;
                    }
                    --i;  // the quote is handled on the next round
                    continue;
                }
                arg.append(n, u'\\');
                --i;
                continue;
            }
            if (c == u'"') {
                quoted = !quoted;
                continue;
            }
            if (!quoted && (c == u' ' || c == u'\t')) break;
            arg += c;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

}  // namespace

std::vector<std::string> commandArgv(std::u16string_view line) {
    std::u16string_view rest = line;
    bool interpreter = false;
    while (true) {
        auto [word, after] = firstWord(rest);
        if (isInterpreter(word)) {
            auto [sw, afterSwitch] = firstWord(after);
            if (!isRunSwitch(sw)) break;
            rest = afterSwitch;
            interpreter = true;
            continue;
        }
        // "%COMSPEC% /c" with COMSPEC unset leaves a bare switch behind an interpreter call.
        if (interpreter && isRunSwitch(word)) {
            rest = after;
            continue;
        }
        break;
    }
    if (interpreter) {
        std::u16string body(skipBlanks(rest));
        if (platform::text::Trim(body).empty()) return {};
        return {"/bin/sh", "-c", platform::text::toUtf8(body)};
    }
    std::vector<std::string> argv;
    for (const auto& a : splitWindows(line)) argv.push_back(platform::text::toUtf8(a));
    return argv;
}

// ---------------------------------------------------------------------------------------------
// Pipes

Pipe::Pipe(Pipe&& o) noexcept {
    std::swap(fds_, o.fds_);
}

Pipe& Pipe::operator=(Pipe&& o) noexcept {
    if (this != &o) {
        closeRead();
        closeWrite();
        std::swap(fds_, o.fds_);
    }
    return *this;
}

Pipe::~Pipe() {
    closeRead();
    closeWrite();
}

int Pipe::create() {
    closeRead();
    closeWrite();
    return ::pipe2(fds_, O_CLOEXEC) == 0 ? 0 : errno;
}

void Pipe::closeRead() {
    if (fds_[0] >= 0) ::close(fds_[0]);
    fds_[0] = -1;
}

void Pipe::closeWrite() {
    if (fds_[1] >= 0) ::close(fds_[1]);
    fds_[1] = -1;
}

// ---------------------------------------------------------------------------------------------
// Children

Child::Child(Child&& o) noexcept : pid_(o.pid_), group_(o.group_) {
    o.pid_ = -1;
}

Child& Child::operator=(Child&& o) noexcept {
    if (this != &o) {
        if (running()) {
            killGroup();
            wait();
        }
        pid_ = o.pid_;
        group_ = o.group_;
        o.pid_ = -1;
    }
    return *this;
}

Child::~Child() {
    if (running()) {
        killGroup();
        wait();
    }
}

void Child::killGroup() {
    if (!running()) return;
    // Until the child is reaped its id (and so its group id) cannot be reused.
    if (group_) ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
}

std::optional<int> Child::exited() {
    if (!running()) return std::nullopt;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return std::nullopt;
    pid_ = -1;
    return r < 0 ? -1 : status;
}

int Child::wait() {
    if (!running()) return -1;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    pid_ = -1;
    return r < 0 ? -1 : status;
}

int spawn(const SpawnOptions& options, Child& child) {
    if (options.argv.empty() || options.argv[0].empty()) return ENOENT;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, options.stdinFd, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (options.stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, options.stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (options.stderrFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, options.stderrFd, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Nothing of the caller's (sockets, files) reaches the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.newProcessGroup) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&attr, 0);
    }
    posix_spawnattr_setflags(&attr, flags);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);

    std::vector<char*> argv;
    for (const auto& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = ::posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return rc;
    if (child.running()) {
        child.killGroup();
        child.wait();
    }
    child.pid_ = pid;
    child.group_ = options.newProcessGroup;
    return 0;
}

int runToEnd(const std::vector<std::string>& argv) {
    SpawnOptions options;
    options.argv = argv;
    Child child;
    if (spawn(options, child) != 0) return -1;
    return exitCodeOf(child.wait()).value_or(-1);
}

ReadStatus readSome(int fd, std::uint8_t* buffer, std::size_t max, std::size_t& got,
                    std::optional<std::chrono::steady_clock::time_point> deadline) {
    got = 0;
    while (true) {
        int timeout = -1;
        if (deadline) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return ReadStatus::TimedOut;
            timeout = int(std::min<long long>(left.count(), 1 << 30));
        }
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, timeout);
        if (r < 0) {
            if (errno == EINTR) continue;
            return ReadStatus::Failed;
        }
        if (r == 0) continue;  // the deadline check above decides
        ssize_t n = ::read(fd, buffer, max);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return ReadStatus::Failed;
        }
        if (n == 0) return ReadStatus::End;
        got = std::size_t(n);
        return ReadStatus::Data;
    }
}

int writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    // SIGPIPE is held back on this thread while writing; one raised by a gone reader is taken
    // off again before the mask is restored, so only EPIPE reports it.
    sigset_t pipeSignal, old;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
    int error = 0;
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            error = errno;
            break;
        }
        data += n;
        size -= std::size_t(n);
    }
    if (error == EPIPE && !wasPending) {
        timespec zero{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return error;
}

bool takeStandardStreams(int& in, int& out) {
    in = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
    out = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (in < 0 || out < 0) {
        if (in >= 0) ::close(in);
        if (out >= 0) ::close(out);
        in = out = -1;
        return false;
    }
    int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, 0);
        ::close(null);
    }
    ::dup2(2, 1);
    return true;
}

std::optional<int> exitCodeOf(int waitStatus) {
    if (waitStatus < 0 || !WIFEXITED(waitStatus)) return std::nullopt;
    return WEXITSTATUS(waitStatus);
}

bool superuser() {
    return ::geteuid() == 0;
}

}  // namespace platform::process
