// What the benchmarks read of a process from outside, the same way for the real server and for
// the reference programs: processor time and page faults from its stat file, its size and peak
// from its status file, and a fresh start of the peak.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace tessel::bench {

struct ProcessUsage {
    double cpuMs = 0;  // user and system time of all its threads
    double pageFaults = 0;
};

inline ProcessUsage processUsage(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ProcessUsage usage;
    const auto name = all.rfind(')');
    if (name == std::string::npos) return usage;
    // The fields after the program's name (which is in parentheses) start with the state;
    // minor and major faults are the 8th and 10th of them, user and system time the 12th and
    // 13th, in clock ticks.
    std::istringstream fields(all.substr(name + 2));
    std::string field;
    double user = 0, system = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i == 8 || i == 10) usage.pageFaults += std::stod(field);
        if (i == 12) user = std::stod(field);
        if (i == 13) system = std::stod(field);
    }
    usage.cpuMs = (user + system) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
    return usage;
}

// The time all threads of the process have spent on a processor, in nanoseconds (the
// scheduler's own count, finer than the clock ticks of the stat file).
inline double cpuNanoseconds(pid_t pid) {
    double total = 0;
    std::error_code ec;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "schedstat");
        double ns = 0;
        if (in >> ns) total += ns;
    }
    return total;
}

// A figure of the process's status file in bytes ("VmRSS", "VmHWM"); -1 when absent.
inline double statusBytes(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, field.size() + 1, field + ":") != 0) continue;
        std::istringstream fields(line.substr(field.size() + 1));
        double kib = -1;
        fields >> kib;
        return kib * 1024;
    }
    return -1;
}

// Starts counting the peak afresh from the process's present size.
inline bool resetPeak(pid_t pid) {
    std::ofstream out("/proc/" + std::to_string(pid) + "/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace tessel::bench
