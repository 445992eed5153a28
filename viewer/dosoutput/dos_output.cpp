#include "viewer/dosoutput/dos_output.h"

#include <exception>
#include <vector>

#include "platform/process/process.h"
#include "platform/text/codepage.h"
#include "platform/text/strings.h"

namespace vistrel {

namespace proc = platform::process;

bool ClassDosOutput::Execute(std::u16string_view command, std::u16string_view prefix) {
    if (!options_.trapErrors) return run(command, prefix);
    try {
        return run(command, prefix);
    } catch (const std::exception& e) {
        log(platform::text::fromUtf8(e.what()), 0);
        return false;
    }
}

bool ClassDosOutput::run(std::u16string_view command, std::u16string_view prefix) {
    log(u"Dos.Excute 시작", 6);
    command_ = std::u16string(command);
    output_.clear();
    errorMsg_.clear();
    errorNo_ = 0;
    timedOut_ = false;

    if (platform::text::Trim(command).empty()) {
        errorNo_ = 1;
        errorMsg_ = u"Command line is empty";
        return false;
    }

    log(u"파이프 생성", 7);
    proc::Pipe pipe;
    int pipeError = pipe.create();
    log(u"파이프 생성 완료", 7);
    if (pipeError != 0) {
        errorNo_ = 2;
        errorMsg_ =
            u"CreatePipe failed. (" + platform::text::fromUtf8(std::to_string(pipeError)) + u")";
        return false;
    }

    log(u"Execute the command료", 7);
    proc::SpawnOptions spawn;
    spawn.argv = proc::commandArgv(std::u16string(prefix) + std::u16string(command));
    spawn.stdoutFd = pipe.writeEnd();
    spawn.stderrFd = pipe.writeEnd();
    proc::Child child;
    int spawnError = proc::spawn(spawn, child);
    log(u"Execute the command 완료", 7);
    if (spawnError != 0) {
        errorNo_ = 3;
        errorMsg_ = u"File or command not found";
        return false;
    }

    log(u"CloseHandle", 7);
    pipe.closeWrite();
    log(u"CloseHandle 완료", 7);

    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (options_.timeout) deadline = std::chrono::steady_clock::now() + *options_.timeout;
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[kReadSize];
    while (bytes.size() < kOutputCap) {
        log(u"ReadFile", 7);
        std::size_t got = 0;
        proc::ReadStatus status = proc::readSome(pipe.readEnd(), buffer, kReadSize, got, deadline);
        log(u"ReadFile 완료", 7);
        if (status == proc::ReadStatus::TimedOut) timedOut_ = true;
        if (status != proc::ReadStatus::Data) break;
        log(u"버퍼 읽기", 7);
        bytes.insert(bytes.end(), buffer, buffer + got);
    }

    log(u"파이프 문자열 변환", 7);
    if (!bytes.empty()) output_ += platform::text::fromAnsi(bytes);

    log(u"TerminateProcess", 7);
    child.killGroup();
    child.wait();
    log(u"CloseHandle", 7);
    pipe.closeRead();
    log(u"Dos.Excute 종료", 6);
    return true;
}

}  // namespace vistrel
