// Other programs: their windows, ending them, starting them.
#include "platform/process/control.h"
#include "platform/process/process.h"
#include "platform/system/codefile.h"
#include "platform/system/guardedfiles.h"
#include "platform/text/codepage.h"
#include "platform/text/strings.h"
#include "platform/window/shell.h"
#include "privileged/kestrum.h"

namespace kestrum {

namespace win = platform::window;
namespace proc = platform::process;
using platform::text::fromUtf8;
using platform::text::LCase;
using platform::text::toUtf8;

void showWindow(std::uint32_t hwnd, int mode) {
    win::showWindow(hwnd, mode);
    if (mode == 1) {
        win::setForegroundWindow(hwnd);
        win::focusWindow(hwnd);
    }
}

bool killProcessByHwnd(std::uint32_t hwnd) {
    const auto pid = static_cast<pid_t>(win::windowProcessId(hwnd));
    if (pid == static_cast<pid_t>(win::windowProcessId(win::desktopWindow()))) return true;
    if (pid <= 0) return false;
    if (proc::isProtected(pid)) {
        log(u"refusing to end protected process " + platform::text::fromUtf8(std::to_string(pid)));
        return false;
    }
    return proc::terminateUnprotected(pid);
}

bool killProcessByName(std::u16string_view name) {
    if (platform::text::Trim(name).empty()) {
        log(u"refusing to end processes by a blank name");
        return false;
    }
    const std::u16string wanted = LCase(name);
    bool found = false;
    for (const auto& p : proc::snapshot()) {
        const std::u16string exe = LCase(p.exeFile);
        if (wanted.size() > exe.size() ||
            exe.compare(exe.size() - wanted.size(), wanted.size(), wanted) != 0)
            continue;
        if (proc::isProtected(p.pid)) continue;
        found = true;
        // The name is checked again on the pinned process, so a reused id is never ended.
        if (!proc::terminateIfNamed(p.pid, p.exeFile)) log(u"could not end " + p.exeFile);
    }
    return found;
}

bool shellRun(std::u16string_view folder, std::u16string_view program,
              std::u16string_view parameters) {
    std::u16string line = u"\"" + std::u16string(program) + u"\"";
    if (!parameters.empty()) line += u" " + std::u16string(parameters);
    std::vector<std::string> argv = proc::commandArgv(line);
    // The program itself, by its absolute path: never a command interpreter in its place.
    if (argv.empty() || argv[0] != toUtf8(program) || argv[0].empty() || argv[0][0] != '/') {
        log(u"refusing to start " + std::u16string(program));
        return false;
    }
    // It runs with this library's rights: only from where no other user could have put it.
    if (auto why = platform::system::unsafeProgramPath(argv[0])) {
        log(u"refusing to start " + std::u16string(program) + u": " + fromUtf8(*why));
        return false;
    }
    int error = proc::startDetached(argv, toUtf8(folder));
    if (error != 0) log(u"could not start " + std::u16string(program));
    return error == 0;
}

bool startPrentor(std::u16string_view folder, std::u16string_view parameters) {
    std::u16string path(folder);
    if (!path.empty() && path.back() == u'\\') path.back() = u'/';
    if (path.empty() || path.back() != u'/') path += u'/';
    path += u"Prentor.exe";
    if (!platform::system::guardedFileExists(toUtf8(path))) {
        log(u"refusing to start " + path +
            u": no regular file of that name in the allowed folders");
        return false;
    }
    return shellRun(u"", path, parameters);
}

}  // namespace kestrum
