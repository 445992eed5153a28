// vplist: writes and lists the deployment's virtual-printer list file (vplist.exml).
//
//   vplist write FILE [RECORDS]   reads plain records (UTF-8, one a line: the model or program
//                                 kind, a tab, the port or program name; from standard input
//                                 without RECORDS) and writes them enciphered to FILE
//   vplist list FILE              prints the records of FILE in the same plain form
//
// Empty lines and lines beginning with "#" are skipped on input. Exit status: 0 done, 1 a
// file that cannot be read or written, 2 a wrong command line or a record without a tab.
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/system/filelimit.h"
#include "platform/system/givenfile.h"
#include "platform/text/codepage.h"
#include "platform/text/common.h"
#include "viewer/selection/vplist.h"

namespace txt = platform::text;

namespace {

constexpr std::size_t kMaxRecordsBytes = 4 << 20;

int usage() {
    std::cerr << "usage: vplist write FILE [RECORDS]\n"
                 "       vplist list FILE\n";
    return 2;
}

int write(const std::string& file, std::istream& in) {
    std::vector<vistrel::VirtualPrinterEntry> entries;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto tab = line.find('\t');
        if (tab == std::string::npos) {
            std::cerr << "vplist: line " << number << " has no tab between its two fields\n";
            return 2;
        }
        entries.push_back(
            {txt::fromUtf8(line.substr(0, tab)), txt::fromUtf8(line.substr(tab + 1))});
    }
    std::string error;
    if (!vistrel::writeVirtualPrinterFile(file, entries, error)) {
        std::cerr << "vplist: " << error << "\n";
        return 1;
    }
    std::cout << entries.size() << " records written to " << file << "\n";
    return 0;
}

int list(const std::string& file) {
    std::string error;
    bool notAList = false;
    auto text = vistrel::readVirtualPrinterText(file, error, notAList);
    if (!text) {
        std::cerr << "vplist: " << error << "\n";
        return 1;
    }
    std::vector<vistrel::VirtualPrinterEntry> entries;
    int status = 0;
    try {
        vistrel::splitVirtualPrinterList(*text, entries);
    } catch (const txt::Error& e) {
        error = txt::toUtf8(e.description());
        status = 1;
    }
    for (const auto& e : entries)
        std::cout << txt::toUtf8(e.first) << "\t" << txt::toUtf8(e.second) << "\n";
    if (status)
        std::cerr << "vplist: the list is damaged after " << entries.size() << " records: " << error
                  << "\n";
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    platform::system::ignoreFileSizeSignal();  // a file size limit fails the write instead
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "write" && args.size() <= 3) {
        if (args.size() == 2) return write(args[1], std::cin);
        // A records file is a regular file of a list's size; a pipe goes to standard input.
        std::string records;
        platform::system::GivenFileError failure;
        if (!platform::system::readGivenFile(args[2], kMaxRecordsBytes, records, failure)) {
            std::cerr << "vplist: cannot read " << args[2] << ": " << failure.why << "\n";
            return 1;
        }
        std::istringstream in(records);
        return write(args[1], in);
    }
    if (args.size() == 2 && args[0] == "list") return list(args[1]);
    return usage();
}
