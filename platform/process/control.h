// Ending other processes with care, and starting programs that run on their own.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::process {

// Processes that must never be ended by name or by window: this process, pid 1 (and below),
// and kernel threads (no program file and an empty command line).
bool isProtected(pid_t pid);

// Ends `pid` (SIGKILL) only when it still runs the program named `exeFile` (compared without
// regard to case) when the signal is sent: the process is pinned through a pidfd first, so a
// reused process id is never hit. Protected processes are refused. True when signalled.
bool terminateIfNamed(pid_t pid, std::u16string_view exeFile);

// Ends `pid` through a pidfd unless it is protected. True when signalled.
bool terminateUnprotected(pid_t pid);

// Starts a program without a shell and without waiting for it: argv[0] is the program's path,
// `folder` the working folder (empty: the current one), standard streams on /dev/null. The
// child is reaped when it ends. Answers 0 or the errno of the failure (ENOENT for a missing
// program, EACCES for one that may not run).
int startDetached(const std::vector<std::string>& argv, const std::string& folder = {});

// Starts a Windows command line (see commandArgv) with startDetached. A program named without a
// folder is looked up in PATH. Answers 0 or the errno of the failure: EINVAL for a blank line,
// ENOENT for a program that is not found.
int startCommandLine(std::u16string_view commandLine, const std::string& folder = {});

}  // namespace platform::process
