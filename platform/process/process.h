// Processes of the machine: a process listing (from /proc), termination, and starting
// programs with their output on a pipe. Command lines are Windows command lines: a call of
// the command interpreter ("cmd.exe /c ...", "%COMSPEC% /c ...", or the program COMSPEC names)
// runs the rest of the line with /bin/sh -c; any other line is split into a program and its
// arguments by the Windows quoting rules and started directly.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::process {

// One entry of a process snapshot.
struct ProcessEntry {
    pid_t pid = 0;
    pid_t parentPid = 0;
    std::u16string exeFile;  // the program's file name without its folder
    std::uint32_t threads = 0;
    // An ended process that its parent has not reaped yet (state Z or X): it runs nothing.
    bool zombie = false;
};

// The processes of the machine that /proc shows, in ascending process id order.
std::vector<ProcessEntry> snapshot();

// The program file name of one process, as a snapshot names it (empty when it has gone).
std::u16string programName(pid_t pid);

// Ends a process at once (SIGKILL). False when no such process can be signalled.
bool terminate(pid_t pid);

// The program and arguments a Windows command line starts (see above). An empty or blank line
// gives no arguments.
std::vector<std::string> commandArgv(std::u16string_view commandLine);

// An anonymous pipe; both ends close-on-exec. Closed when destroyed.
class Pipe {
  public:
    Pipe() = default;
    Pipe(Pipe&& other) noexcept;
    Pipe& operator=(Pipe&& other) noexcept;
    ~Pipe();
    // errno of the failure, 0 on success.
    int create();
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeRead();
    void closeWrite();

  private:
    int fds_[2] = {-1, -1};
};

struct SpawnOptions {
    std::vector<std::string> argv;  // argv[0] is looked up in PATH when it holds no "/"
    int stdoutFd = -1;              // -1: /dev/null
    int stderrFd = -1;              // -1: /dev/null
    // The child leads a new process group, so killGroup reaches everything it starts.
    bool newProcessGroup = true;
};

// A started child. Destroying a child that was not waited for kills its group and reaps it,
// so no child is ever left behind as a zombie.
class Child {
  public:
    Child() = default;
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;
    ~Child();

    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0; }
    // Kills the child's process group (or the child alone without a group of its own).
    void killGroup();
    // Waits for the child and answers its wait status (-1 when there was no child).
    int wait();
    // The wait status once the child has ended (it is reaped then); nullopt while it runs or
    // when there is no child.
    std::optional<int> exited();

  private:
    friend int spawn(const SpawnOptions&, Child&);
    pid_t pid_ = -1;
    bool group_ = false;
};

// Runs a program to its end with its output discarded (no shell, argv[0] looked up in PATH when
// it holds no "/"). Answers its exit code; -1 when it could not be started or did not exit.
int runToEnd(const std::vector<std::string>& argv);

// Starts a program. Every descriptor but 0, 1 and 2 is closed in the child, standard input is
// /dev/null. Answers 0 or the errno of the failure (ENOENT for a missing program).
int spawn(const SpawnOptions& options, Child& child);

enum class ReadStatus { Data, End, TimedOut, Failed };
// Reads at most `max` bytes from a descriptor, waiting until the deadline at most (none: no
// limit). `got` is the number of bytes read for Data.
ReadStatus readSome(int fd, std::uint8_t* buffer, std::size_t max, std::size_t& got,
                    std::optional<std::chrono::steady_clock::time_point> deadline);

}  // namespace platform::process
