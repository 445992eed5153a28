#include "platform/services/services.h"

#include <signal.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/process/process.h"
#include "platform/system/machine.h"
#include "platform/system/storefile.h"
#include "platform/text/codepage.h"

namespace platform::services {

namespace fs = std::filesystem;

namespace {

// Unit names become file names: letters, digits and "_.@-" only, never "." or "..".
bool validUnit(const std::string& unit) {
    if (unit.empty() || unit == "." || unit == ".." || unit.size() > 200) return false;
    for (unsigned char c : unit)
        if (!std::isalnum(c) && c != '_' && c != '.' && c != '@' && c != '-') return false;
    return true;
}

// Texts that go onto one line of a unit file or a record.
bool oneLine(const std::string& text) {
    return text.find_first_of("\r\n") == std::string::npos && text.find('\0') == std::string::npos;
}

bool specFits(const ServiceSpec& spec) {
    if (!validUnit(spec.unit) || spec.command.empty() || spec.command[0].empty() ||
        spec.command[0].front() != '/')
        return false;
    if (!oneLine(spec.name) || !oneLine(spec.displayName) || !oneLine(spec.description))
        return false;
    for (const std::string& a : spec.command)
        if (!oneLine(a)) return false;
    return true;
}

bool writeText(const fs::path& file, const std::string& text, std::string& why) {
    int error = 0;
    return platform::system::replaceFileAtomically(file, text, why, error);
}

const char* kSpecUnfit =
    "the service's unit name, texts or program (an absolute path) cannot go into a unit file";

}  // namespace

// ---------------------------------------------------------------------------------------------
// systemd

std::string quoteExecArgument(const std::string& argument) {
    std::string body;
    bool quote = argument.empty();
    for (char c : argument) {
        switch (c) {
            case '%':
                body += "%%";
                break;
            case '$':
                body += "$$";
                break;
            case '"':
                body += "\\\"";
                quote = true;
                break;
            case '\\':
                body += "\\\\";
                quote = true;
                break;
            case ' ':
            case '\t':
            case '\'':
            case ';':
                body += c;
                quote = true;
                break;
            default:
                body += c;
        }
    }
    return quote ? "\"" + body + "\"" : body;
}

std::string unitText(const ServiceSpec& spec, bool userManager) {
    std::ostringstream out;
    const std::string& shown = spec.displayName.empty() ? spec.name : spec.displayName;
    out << "# " << shown << "\n";
    out << "[Unit]\n";
    out << "Description=" << (spec.description.empty() ? shown : spec.description) << "\n";
    out << "After=network.target\n\n";
    out << "[Service]\n";
    out << "Type=simple\n";
    out << "ExecStart=";
    for (std::size_t i = 0; i < spec.command.size(); ++i)
        out << (i ? " " : "") << quoteExecArgument(spec.command[i]);
    out << "\n";
    // Stopping the service ends the service process only: the programs it started are not
    // part of it and keep running.
    out << "KillMode=process\n";
    out << "Restart=no\n";
    if (spec.autoStart)
        out << "\n[Install]\nWantedBy=" << (userManager ? "default" : "multi-user") << ".target\n";
    return out.str();
}

SystemdOptions systemdDefaults() {
    SystemdOptions options;
    options.userManager = ::geteuid() != 0;
    if (const char* folder = std::getenv("TESSEL_SYSTEMD_UNITS"); folder && *folder) {
        options.unitFolder = folder;
    } else if (!options.userManager) {
        options.unitFolder = "/etc/systemd/system";
    } else {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        fs::path base =
            config && *config ? fs::path(config) : fs::path(home && *home ? home : "/") / ".config";
        options.unitFolder = base / "systemd" / "user";
    }
    return options;
}

SystemdManager::SystemdManager(SystemdOptions options, Runner runner)
    : options_(std::move(options)), runner_(std::move(runner)) {
    if (!runner_)
        runner_ = [](const std::vector<std::string>& argv) {
            platform::process::SpawnOptions spawn;
            spawn.argv = argv;
            spawn.stderrFd = STDERR_FILENO;
            platform::process::Child child;
            if (platform::process::spawn(spawn, child) != 0) return -1;
            const int status = child.wait();
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        };
}

fs::path SystemdManager::unitFile(const std::string& unit) const {
    return options_.unitFolder / (unit + ".service");
}

int SystemdManager::systemctl(std::vector<std::string> arguments) {
    std::vector<std::string> argv{options_.systemctl};
    if (options_.userManager) argv.push_back("--user");
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runner_(argv);
}

bool SystemdManager::failed(std::string why) {
    failure_ = std::move(why);
    return false;
}

bool SystemdManager::systemctlDid(const std::vector<std::string>& arguments,
                                  const std::string& after) {
    const int code = systemctl(arguments);
    if (code == 0) return true;
    std::string line = options_.systemctl + (options_.userManager ? " --user" : "");
    for (const std::string& a : arguments) line += " " + a;
    failed(code < 0 ? line + " could not be run (is systemd installed?)"
                    : line + " failed with exit code " + std::to_string(code));
    if (!after.empty()) failure_ += "; " + after;
    return false;
}

bool SystemdManager::install(const ServiceSpec& spec) {
    failure_.clear();
    if (!specFits(spec)) return failed(kSpecUnfit);
    const fs::path file = unitFile(spec.unit);
    std::error_code ec;
    fs::create_directories(options_.unitFolder, ec);
    if (fs::exists(file, ec)) return failed(file.string() + " already exists");
    std::string why;
    if (!writeText(file, unitText(spec, options_.userManager), why))
        return failed("cannot write " + file.string() + ": " + why);
    // A unit systemd cannot take is not left behind: the file goes again.
    auto takeBack = [&] {
        std::error_code removeError;
        if (!fs::remove(file, removeError))
            return file.string() + " is left and could not be removed: " + removeError.message();
        return file.string() + " was removed again, nothing is installed";
    };
    if (!systemctlDid({"daemon-reload"})) {
        failure_ += "; " + takeBack();
        return false;
    }
    if (spec.autoStart && !systemctlDid({"enable", spec.unit + ".service"})) {
        failure_ += "; " + takeBack();
        systemctl({"daemon-reload"});
        return false;
    }
    return true;
}

bool SystemdManager::uninstall(const std::string& unit) {
    failure_.clear();
    if (!validUnit(unit)) return failed("\"" + unit + "\" is not a unit name");
    const fs::path file = unitFile(unit);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return failed(file.string() + " is not installed");
    if (!systemctlDid({"disable", unit + ".service"}, file.string() + " was left as it was"))
        return false;
    if (!fs::remove(file, ec))
        return failed("cannot remove " + file.string() + ": " + ec.message() +
                      " (the unit is disabled)");
    return systemctlDid({"daemon-reload"}, file.string() + " was removed");
}

bool SystemdManager::start(const std::string& unit) {
    failure_.clear();
    if (!validUnit(unit)) return failed("\"" + unit + "\" is not a unit name");
    return systemctlDid({"start", unit + ".service"});
}

bool SystemdManager::stop(const std::string& unit) {
    failure_.clear();
    if (!validUnit(unit)) return failed("\"" + unit + "\" is not a unit name");
    return systemctlDid({"stop", unit + ".service"});
}

void SystemdManager::connect(const std::string&) {
    // systemd knows the service's process from starting it.
}

void SystemdManager::reportEvent(EventKind kind, long id, const std::string& source,
                                 const std::string& text) {
    const int priority = kind == EventKind::Error     ? LOG_ERR
                         : kind == EventKind::Warning ? LOG_WARNING
                                                      : LOG_INFO;
    ::openlog(source.c_str(), LOG_PID, LOG_DAEMON);
    ::syslog(priority, "[%ld] %s", id, text.c_str());
    ::closelog();
}

// ---------------------------------------------------------------------------------------------
// The simulated manager

namespace {

const char* stateName(ServiceState state) {
    switch (state) {
        case ServiceState::Running:
            return "running";
        case ServiceState::Paused:
            return "paused";
        default:
            return "stopped";
    }
}

std::string recordText(const ServiceRecord& r) {
    std::ostringstream out;
    out << "name=" << r.spec.name << "\n";
    out << "display=" << r.spec.displayName << "\n";
    out << "description=" << r.spec.description << "\n";
    out << "autostart=" << (r.spec.autoStart ? 1 : 0) << "\n";
    out << "state=" << stateName(r.state) << "\n";
    out << "pid=" << r.pid << "\n";
    for (const std::string& a : r.spec.command) out << "arg=" << a << "\n";
    return out.str();
}

}  // namespace

SimulatedManager::SimulatedManager()
    : SimulatedManager(platform::system::machineFolder() / "services") {}

SimulatedManager::SimulatedManager(fs::path folder) : folder_(std::move(folder)) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
}

std::optional<ServiceRecord> SimulatedManager::record(const std::string& unit) const {
    if (!validUnit(unit)) return std::nullopt;
    std::string text, why;
    int error = 0;
    if (platform::system::readWholeFile(folder_ / (unit + ".record"), text, 1 << 20, why, error) !=
        platform::system::FileState::Read)
        return std::nullopt;
    ServiceRecord r;
    r.spec.unit = unit;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "name") r.spec.name = value;
        if (key == "display") r.spec.displayName = value;
        if (key == "description") r.spec.description = value;
        if (key == "autostart") r.spec.autoStart = value == "1";
        if (key == "state")
            r.state = value == "running"  ? ServiceState::Running
                      : value == "paused" ? ServiceState::Paused
                                          : ServiceState::Stopped;
        if (key == "pid") r.pid = std::atol(value.c_str());
        if (key == "arg") r.spec.command.push_back(value);
    }
    return r;
}

bool SimulatedManager::write(const ServiceRecord& r) {
    std::string why;
    if (!writeText(folder_ / (r.spec.unit + ".record"), recordText(r), why)) return failed(why);
    return true;
}

bool SimulatedManager::failed(std::string why) {
    failure_ = std::move(why);
    return false;
}

bool SimulatedManager::install(const ServiceSpec& spec) {
    failure_.clear();
    if (!specFits(spec)) return failed(kSpecUnfit);
    platform::system::StoreLock lock;
    std::string why;
    int error = 0;
    if (!lock.acquire(folder_, why, error)) return failed(why);
    if (record(spec.unit)) return failed("the service is already installed");
    ServiceRecord r;
    r.spec = spec;
    return write(r);
}

bool SimulatedManager::uninstall(const std::string& unit) {
    failure_.clear();
    platform::system::StoreLock lock;
    std::string why;
    int error = 0;
    if (!validUnit(unit)) return failed("\"" + unit + "\" is not a unit name");
    if (!lock.acquire(folder_, why, error)) return failed(why);
    std::error_code ec;
    if (fs::remove(folder_ / (unit + ".record"), ec)) return true;
    return failed(ec ? ec.message() : "the service is not installed");
}

bool SimulatedManager::setState(const std::string& unit, ServiceState state, long pid) {
    platform::system::StoreLock lock;
    std::string why;
    int error = 0;
    if (!lock.acquire(folder_, why, error)) return failed(why);
    auto r = record(unit);
    if (!r) return failed("the service is not installed");
    r->state = state;
    r->pid = pid;
    return write(*r);
}

bool SimulatedManager::start(const std::string& unit) {
    failure_.clear();
    auto r = record(unit);
    if (!r) return failed("the service is not installed");
    return setState(unit, ServiceState::Running, r->pid);
}

bool SimulatedManager::stop(const std::string& unit) {
    failure_.clear();
    auto r = record(unit);
    if (!r) return failed("the service is not installed");
    // The process connected as the service is asked to stop, as a service manager would; only
    // while it still runs the service's program, so a reused process id is left alone.
    if (r->pid > 0 && r->state != ServiceState::Stopped && !r->spec.command.empty()) {
        const std::string program = fs::path(r->spec.command[0]).filename().string();
        if (platform::process::programName(pid_t(r->pid)) == platform::text::fromUtf8(program))
            ::kill(pid_t(r->pid), SIGTERM);
    }
    return setState(unit, ServiceState::Stopped, 0);
}

void SimulatedManager::connect(const std::string& unit) {
    setState(unit, ServiceState::Running, long(::getpid()));
}

void SimulatedManager::reportEvent(EventKind kind, long id, const std::string& source,
                                   const std::string& text) {
    std::string line =
        std::to_string(int(kind)) + " " + std::to_string(id) + " " + source + ": " + text;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    std::ofstream out(folder_ / "events.log", std::ios::app | std::ios::binary);
    out << line << "\n";
}

std::vector<std::string> SimulatedManager::events() const {
    std::vector<std::string> lines;
    std::ifstream in(folder_ / "events.log", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::unique_ptr<ServiceManager> managerFromEnvironment() {
    const char* kind = std::getenv("TESSEL_SERVICE_MANAGER");
    if (kind && std::string(kind) == "systemd")
        return std::make_unique<SystemdManager>(systemdDefaults());
    return std::make_unique<SimulatedManager>();
}

}  // namespace platform::services
