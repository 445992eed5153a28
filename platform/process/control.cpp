#include "platform/process/control.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/process/process.h"
#include "platform/text/strings.h"

extern char** environ;

namespace platform::process {

namespace {

int pidfdOpen(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

bool sendKill(int pidfd) {
    return ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0;
}

bool kernelThread(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid);
    char buf[16];
    if (::readlink((dir + "/exe").c_str(), buf, sizeof buf) >= 0) return false;
    std::ifstream cmd(dir + "/cmdline", std::ios::binary);
    if (!cmd) return false;  // gone, or not ours to read: not known to be a kernel thread
    return cmd.peek() == std::char_traits<char>::eof();
}

}  // namespace

bool isProtected(pid_t pid) {
    return pid <= 1 || pid == ::getpid() || kernelThread(pid);
}

bool terminateIfNamed(pid_t pid, std::u16string_view exeFile) {
    if (exeFile.empty() || isProtected(pid)) return false;
    const int fd = pidfdOpen(pid);
    if (fd < 0) return false;
    // The pidfd holds this very process: the name checked now is the name of what is signalled.
    bool done = platform::text::equalsNoCase(programName(pid), exeFile) && sendKill(fd);
    ::close(fd);
    return done;
}

bool terminateUnprotected(pid_t pid) {
    if (isProtected(pid)) return false;
    const int fd = pidfdOpen(pid);
    if (fd < 0) return false;
    bool done = sendKill(fd);
    ::close(fd);
    return done;
}

int startDetached(const std::vector<std::string>& argv, const std::string& folder) {
    if (argv.empty() || argv[0].empty()) return ENOENT;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with no signal blocked and every handler at its default, whatever the
    // caller blocks or handles for itself (a service reading its signals from a descriptor).
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int error = ::posix_spawn(&pid, argv[0].c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (error != 0) return error;
    // The waiter lives in this module, which is never unloaded (see CMakeLists.txt).
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return 0;
}

namespace {

// The executable file a bare program name stands for, searched along PATH as a shell does;
// empty when none is found.
std::string searchPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(start, end - start);
        if (folder.empty()) folder = ".";
        const std::string candidate = folder + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

}  // namespace

int startCommandLine(std::u16string_view commandLine, const std::string& folder) {
    std::vector<std::string> argv = commandArgv(commandLine);
    if (argv.empty() || argv[0].empty()) return EINVAL;
    if (argv[0].find('/') == std::string::npos) {
        std::string found = searchPath(argv[0]);
        if (found.empty()) return ENOENT;
        argv[0] = std::move(found);
    }
    return startDetached(argv, folder);
}

}  // namespace platform::process
