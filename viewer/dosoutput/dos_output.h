// ClassDosOutput: runs one command line as a hidden child with its standard output and
// standard error on one pipe, and hands back what it wrote (at most a little over 30,750
// bytes, converted from the system ANSI code page), with an error number and message:
//   ErrorNo 0 none, 1 "Command line is empty", 2 "CreatePipe failed. (<errno>)",
//   3 "File or command not found".
// The command line started is the prefix followed directly by the command; an interpreter
// prefix such as "cmd.exe /c " runs the command with /bin/sh -c (platform/process).
//
// The child gets no descriptor of the caller's but the standard ones. When its output ends (or
// the cap or the optional time-out is reached) its whole process group is killed and the child
// is reaped, so nothing it started outlives the call and no zombie is left.
//
// One implementation serves every program that carries the class: the control library passes
// its step log as the log hook; a build without a log passes none; a build without an error
// trap of its own asks for errors to be raised to the caller.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vistrel {

class ClassDosOutput {
  public:
    using LogHook = std::function<void(std::u16string_view text, std::int16_t level)>;

    struct Options {
        LogHook log;                                       // step lines (levels 6 and 7)
        std::optional<std::chrono::milliseconds> timeout;  // none: wait for the output's end
        bool trapErrors = true;  // false: an unexpected error reaches the caller of Execute
    };

    ClassDosOutput() = default;
    explicit ClassDosOutput(Options options) : options_(std::move(options)) {}

    const std::u16string& Command() const { return command_; }
    const std::u16string& Output() const { return output_; }
    std::int32_t ErrorNo() const { return errorNo_; }
    const std::u16string& ErrorMsg() const { return errorMsg_; }
    // True when the last Execute stopped waiting because its time-out passed.
    bool TimedOut() const { return timedOut_; }

    // True when the process ran and its output was read.
    bool Execute(std::u16string_view command, std::u16string_view prefix);

    static constexpr std::size_t kOutputCap = 30750;
    static constexpr std::size_t kReadSize = 255;

  private:
    bool run(std::u16string_view command, std::u16string_view prefix);
    void log(std::u16string_view text, std::int16_t level) const {
        if (options_.log) options_.log(text, level);
    }

    Options options_;
    std::u16string command_, output_, errorMsg_;
    std::int32_t errorNo_ = 0;
    bool timedOut_ = false;
};

}  // namespace vistrel
