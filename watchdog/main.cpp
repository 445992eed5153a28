// Vigilo: the watchdog service program. With no argument it runs as the service; its options
// install, remove, start and stop the service (see commandline.h).
#include <cstdio>
#include <string>

#include "platform/services/controls.h"
#include "platform/services/services.h"
#include "platform/services/trust.h"
#include "platform/system/filelimit.h"
#include "platform/system/files.h"
#include "platform/text/codepage.h"
#include "platform/ui/messagebox.h"
#include "watchdog/commandline.h"
#include "watchdog/watchdog.h"

int main(int argc, char** argv) {
    platform::system::ignoreFileSizeSignal();  // a file size limit fails the write instead
    using namespace vigilo;
    const std::filesystem::path program = platform::system::programFile();
    const std::filesystem::path folder = program.parent_path();

    std::string raw;
    for (int i = 1; i < argc; ++i) raw += (i > 1 ? " " : "") + std::string(argv[i]);
    const std::u16string commandLine = platform::text::fromUtf8(raw);

    SystemClock clock;
    ServiceLog log(folder / "Logs", [&clock] { return clock.localTime(); });
    log.setLevel(1);
    log.write(commandLine);

    // The start sequence runs on every start of the program, whatever the command line.
    SystemPrograms programs;
    Watchdog watchdog(folder / "vigilo.ini", log, clock, programs,
                      platform::services::effectiveUser());
    watchdog.startSequence();

    const Action action = parseCommandLine(commandLine);
    if (action == Action::Usage) {
        platform::ui::messageBox(usageText(), kUsageTitle, platform::ui::vbExclamation);
        return 2;
    }
    auto manager = platform::services::managerFromEnvironment();
    const auto spec = serviceSpec(program.string());
    if (action != Action::RunService) {
        // What was done goes to the terminal; a failure also makes the exit code.
        const CommandReport report = runServiceCommand(action, *manager, spec);
        std::fputs(report.text.c_str(), report.ok ? stdout : stderr);
        return report.ok ? 0 : 1;
    }

    platform::services::ControlLoop controls;
    if (!controls.open()) {
        log.write(u"service controls cannot be received; ending");
        return 1;
    }
    manager->connect(spec.unit);
    while (!watchdog.stopped()) {
        const auto control = controls.wait(watchdog.nextDue());
        if (!control) {
            watchdog.poll();
            continue;
        }
        switch (*control) {
            case platform::services::Control::Pause:
                watchdog.pause();
                break;
            case platform::services::Control::Continue:
                watchdog.resume();
                break;
            case platform::services::Control::Stop:
                watchdog.stop();
                break;
        }
    }
    return 0;
}
