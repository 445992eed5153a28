// Test support: runs a program with arguments and collects its exit code and output.
#pragma once

#include <sys/wait.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/process/process.h"

namespace platform::testing {

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Everything the descriptor gives until its end.
inline std::string readToEnd(int fd) {
    std::string text;
    std::uint8_t buffer[4096];
    std::size_t got = 0;
    while (process::readSome(fd, buffer, sizeof buffer, got, std::nullopt) ==
           process::ReadStatus::Data)
        text.append(reinterpret_cast<const char*>(buffer), got);
    return text;
}

inline ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args) {
    ProgramResult result;
    process::Pipe out, err;
    if (out.create() || err.create()) return result;
    process::SpawnOptions options;
    options.argv.push_back(program);
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.stdoutFd = out.writeEnd();
    options.stderrFd = err.writeEnd();
    process::Child child;
    const int failed = process::spawn(options, child);
    out.closeWrite();
    err.closeWrite();
    if (failed) return result;
    // Both streams are read at once, so a child that fills one of them never blocks.
    std::thread errors([&] { result.err = readToEnd(err.readEnd()); });
    result.out = readToEnd(out.readEnd());
    errors.join();
    const int status = child.wait();
    result.exitCode = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace platform::testing
