// Service management: installing, removing, starting and stopping a program that runs as a
// service, and the machine's event log. Two managers stand behind one interface:
//   - SystemdManager writes a unit file where systemd reads it and drives systemctl (without a
//     shell); its event log is syslog;
//   - SimulatedManager keeps the services of the simulated machine as records in the machine
//     folder ("<machine>/services/<unit>.record" plus "<machine>/services/events.log"), for
//     tests and for machines without systemd.
// managerFromEnvironment() picks systemd when TESSEL_SERVICE_MANAGER is "systemd", the
// simulated manager otherwise.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::services {

struct ServiceSpec {
    std::string unit;         // the unit's file name without ".service" ("vigilo")
    std::string name;         // the service's own name ("Velmora Vigilo Service")
    std::string displayName;  // shown to people; the name when empty
    std::string description;
    std::vector<std::string> command;  // the program (an absolute path) and its arguments
    bool autoStart = true;             // started with the machine
};

enum class EventKind { Error = 1, Warning = 2, Information = 4 };

class ServiceManager {
  public:
    virtual ~ServiceManager() = default;
    // Each answers true on success; failure() then says why the last one failed.
    virtual bool install(const ServiceSpec& spec) = 0;
    virtual bool uninstall(const std::string& unit) = 0;
    virtual bool start(const std::string& unit) = 0;
    virtual bool stop(const std::string& unit) = 0;
    // Tells the manager that this process now runs as the service `unit`.
    virtual void connect(const std::string& unit) = 0;
    // One entry of the machine's event log.
    virtual void reportEvent(EventKind kind, long id, const std::string& source,
                             const std::string& text) = 0;
    // Why the last install, uninstall, start or stop answered false, and what it left done
    // (UTF-8, one line); empty when it has no reason to give.
    virtual std::string failure() const { return {}; }
};

// ---------------------------------------------------------------------------------------------
// systemd

// The unit file's text for a service: a simple service whose stop ends only the service
// process (programs it started keep running), installed into multi-user.target when it starts
// with the machine (default.target for a user's own manager).
std::string unitText(const ServiceSpec& spec, bool userManager = false);

// One argument of ExecStart= as systemd reads it: in double quotes when it holds blanks,
// quotes or backslashes (which are escaped), "%" doubled and "$" doubled so neither expands.
std::string quoteExecArgument(const std::string& argument);

struct SystemdOptions {
    std::filesystem::path unitFolder;  // where unit files go
    bool userManager = false;          // systemctl --user
    std::string systemctl = "systemctl";
};

// The folder and manager systemd reads for this process: TESSEL_SYSTEMD_UNITS names the folder
// when set; otherwise /etc/systemd/system for root, else ~/.config/systemd/user with the user's
// own manager.
SystemdOptions systemdDefaults();

// An install writes the unit file, reloads systemd and enables the unit; when systemctl fails
// (or cannot run at all) the unit file is removed again, so nothing is left half installed. An
// uninstall disables the unit first and removes the file only once systemctl has done so.
class SystemdManager : public ServiceManager {
  public:
    // Runs one command line (argv) to its end and answers its exit code, -1 when the program
    // could not be run.
    using Runner = std::function<int(const std::vector<std::string>&)>;

    // Without a runner, commands run through platform::process::spawn with their standard
    // error on ours, so systemctl's own reason reaches the terminal.
    explicit SystemdManager(SystemdOptions options, Runner runner = {});

    bool install(const ServiceSpec& spec) override;
    bool uninstall(const std::string& unit) override;
    bool start(const std::string& unit) override;
    bool stop(const std::string& unit) override;
    void connect(const std::string& unit) override;
    void reportEvent(EventKind kind, long id, const std::string& source,
                     const std::string& text) override;
    std::string failure() const override { return failure_; }

    std::filesystem::path unitFile(const std::string& unit) const;

  private:
    int systemctl(std::vector<std::string> arguments);
    // Runs systemctl; on failure sets failure_ to what failed, followed by `after`.
    bool systemctlDid(const std::vector<std::string>& arguments, const std::string& after = {});
    bool failed(std::string why);

    SystemdOptions options_;
    Runner runner_;
    std::string failure_;
};

// ---------------------------------------------------------------------------------------------
// The simulated machine's service manager

enum class ServiceState { Stopped, Running, Paused };

struct ServiceRecord {
    ServiceSpec spec;
    ServiceState state = ServiceState::Stopped;
    long pid = 0;  // the process connected as the service, 0 when none
};

class SimulatedManager : public ServiceManager {
  public:
    // The records live in <machine folder>/services.
    SimulatedManager();
    explicit SimulatedManager(std::filesystem::path folder);

    bool install(const ServiceSpec& spec) override;  // false when already installed
    bool uninstall(const std::string& unit) override;
    bool start(const std::string& unit) override;  // marks the service running
    bool stop(const std::string& unit) override;
    void connect(const std::string& unit) override;
    void reportEvent(EventKind kind, long id, const std::string& source,
                     const std::string& text) override;
    std::string failure() const override { return failure_; }

    std::optional<ServiceRecord> record(const std::string& unit) const;
    // The event log's lines: "<kind> <id> <source>: <text>".
    std::vector<std::string> events() const;
    const std::filesystem::path& folder() const { return folder_; }

  private:
    bool write(const ServiceRecord& record);
    bool setState(const std::string& unit, ServiceState state, long pid);
    bool failed(std::string why);

    std::filesystem::path folder_;
    std::string failure_;
};

std::unique_ptr<ServiceManager> managerFromEnvironment();

}  // namespace platform::services
