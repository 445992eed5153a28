#include "watchdog/commandline.h"

#include "platform/text/codepage.h"
#include "platform/text/strings.h"
#include "watchdog/watchdog.h"

namespace vigilo {

using platform::text::toUtf8;

Action parseCommandLine(std::u16string_view text) {
    const std::u16string t = platform::text::UCase(platform::text::Trim(text));
    if (t.empty()) return Action::RunService;
    std::u16string_view word = t;
    if (word.front() == u'-' || word.front() == u'/') word.remove_prefix(1);
    struct Option {
        std::u16string_view name;
        Action action;
    } options[] = {
        {u"INSTALL", Action::Install},     {u"SINSTALL", Action::InstallAndStart},
        {u"UNINSTALL", Action::Uninstall}, {u"START", Action::Start},
        {u"STOP", Action::Stop},           {u"RESTART", Action::Restart},
    };
    for (const auto& o : options)
        if (word == o.name) return o.action;
    return Action::Usage;
}

std::u16string usageText() {
    const std::u16string title = u"Vigilo Service";
    const std::pair<std::u16string, std::u16string> rows[] = {
        {u"-install", u"를(을) Windows NT Service에 등록합니다."},
        {u"-uninstall", u"를(을) Windows NT Service에서 삭제합니다."},
        {u"-start", u" 시작"},
        {u"-stop", u" 중지"},
        {u"-restart", u" 재시작"},
    };
    std::u16string text = u"사용 방법: \r\n\r\n";
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        if (i) text += u"\r\n";
        text += rows[i].first + u"\t" + title + rows[i].second;
    }
    return text;
}

platform::services::ServiceSpec serviceSpec(const std::string& program) {
    platform::services::ServiceSpec spec;
    spec.unit = "vigilo";
    spec.name = toUtf8(kServiceName);
    spec.displayName = spec.name;
    spec.description = spec.name + " by Velmora";
    spec.command = {program};
    spec.autoStart = true;
    return spec;
}

CommandReport runServiceCommand(Action action, platform::services::ServiceManager& manager,
                                const platform::services::ServiceSpec& spec) {
    using platform::services::EventKind;
    const std::string name = toUtf8(kServiceName);
    CommandReport report;
    auto say = [&](const std::string& line) { report.text += line + "\n"; };
    auto event = [&](const std::u16string& text) {
        manager.reportEvent(EventKind::Information, 110, name, toUtf8(text));
        say(toUtf8(text));
    };
    // A failed step's reason, as the manager gives it, on a line of its own.
    auto why = [&] {
        if (const std::string reason = manager.failure(); !reason.empty())
            say(name + ": " + reason);
    };
    auto start = [&] {
        const bool done = manager.start(spec.unit);
        say(name + (done ? ": started" : ": could not be started"));
        if (!done) why();
        return done;
    };
    // Stopping a service that does not run is not a failure of an uninstall or a restart.
    auto stop = [&] {
        const bool done = manager.stop(spec.unit);
        say(name + (done ? ": stopped" : ": could not be stopped"));
        if (!done) why();
        return done;
    };
    switch (action) {
        case Action::Install:
        case Action::InstallAndStart: {
            const bool done = manager.install(spec);
            event(done ? u"Velmora Vigilo Service 설치하였습니다."
                       : u"Velmora Vigilo Service 설치 실패하였습니다.");
            if (!done) why();
            report.ok = done;
            if (done && action == Action::InstallAndStart) report.ok = start();
            break;
        }
        case Action::Uninstall: {
            stop();
            const bool done = manager.uninstall(spec.unit);
            event(done ? u"Velmora Vigilo Service 삭제하였습니다."
                       : u"Velmora Vigilo Service 삭제 실패하였습니다.");
            if (!done) why();
            report.ok = done;
            break;
        }
        case Action::Start:
            report.ok = start();
            break;
        case Action::Stop:
            report.ok = stop();
            break;
        case Action::Restart:
            stop();
            report.ok = start();
            break;
        default:
            break;
    }
    return report;
}

}  // namespace vigilo
