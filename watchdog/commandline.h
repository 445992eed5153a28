// The watchdog program's command line: installing, removing, starting and stopping its own
// service, or running as the service.
#pragma once

#include <string>
#include <string_view>

#include "platform/services/services.h"

namespace vigilo {

enum class Action { Install, InstallAndStart, Uninstall, Start, Stop, Restart, RunService, Usage };

// The action a command-line text asks for: the text is trimmed and compared without regard to
// case; each option may be written with "-", "/" or nothing in front. An empty text runs the
// service; anything else asks for the usage text.
Action parseCommandLine(std::u16string_view text);

// The usage box: its text and its title.
std::u16string usageText();
inline constexpr char16_t kUsageTitle[] = u"사용 방법";

// The service's description for the service manager, started by `program`.
platform::services::ServiceSpec serviceSpec(const std::string& program);

// What a command did: one line per step, and whether the action as a whole succeeded.
struct CommandReport {
    bool ok = true;
    std::string text;  // UTF-8, each line ending with "\n"
};

// Carries out an action other than RunService and Usage with the service manager: the install
// and uninstall results go to the event log; every step is also told in the report.
CommandReport runServiceCommand(Action action, platform::services::ServiceManager& manager,
                                const platform::services::ServiceSpec& spec);

}  // namespace vigilo
