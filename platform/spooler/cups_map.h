// How the machine's real CUPS queues appear to the spooler's callers: the one place where a
// queue's IPP attributes become the platform's printer, port, driver, status and job fields, so
// that the port tables, port words and probes above judge a CUPS queue as they judge any port.
//
//   device name        the queue name; comment = printer-info, location = printer-location
//   port (by the device-uri after normalising it: scheme and host in lower case, user info,
//   port and query apart, the path percent-decoded, repeated slashes as one, dot segments
//   resolved and no trailing slash; the port's description is the device-uri itself, for a
//   network printer "Standard TCP/IP Port: <device-uri>", as a standard TCP/IP port says)
//     usb:, hp:/usb...     "USB001", "USB002", ...                  "USB Monitor"      type 3
//     socket:, lpd:        "IP_<host>"                              "Standard TCP/IP Port" 3
//     ipp:, ipps:, http:, https:, dnssd: to a printer  (as socket:)
//     ipp(s)/http(s) to /printers/<q> or /classes/<q> of a server, smb://<host>/<q>,
//     dnssd://<q> @ <host>._ipp(s)._tcp.<domain> with any path, case or query, and any
//     dnssd:.../cups (a queue another CUPS server shares: libcups finds the queue from the
//     announcement, not from the path written),
//     a queue printer-type marks remote (CUPS_PRINTER_REMOTE) whose device would be a network
//     printer
//                          "\\<host>\<q>" (the job leaves for another spooler)
//                                                                   "Local Port"  type 1|4
//     ipp(s)/http(s) or lpd to this machine (127/8, 0.0.0.0, ::1, ::, localhost, this host's
//     name, the names CUPS reports, a domain socket, or any name that resolves to a loopback
//     address or an address of this machine's interfaces): a forward to a spooler here, never
//     a network printer. A host name that cannot be resolved within the lookup's deadline may
//     be this machine: its forward is judged redirected, never a network printer.
//     A forward to a queue of this scheduler (same port, or its socket) is
//     followed, at most kMaxForwards steps and never round a loop: when the queue it ends on
//     has a local port that is no device (FILE:, CUPS-PDF:, CLASS:, ...), the forward is on
//     that port, judged as that queue; otherwise, and for any other forward here,
//                          "\\<host>\<q>"                            "Local Port"  type 1|4
//     implicitclass://<q>/ "\\implicitclass\<q>"                    "Local Port"  type 1|4
//     file:                "FILE:"                                  "Local Port"  type 1
//     cups-pdf:            "CUPS-PDF:" (a virtual printer)          "Local Port"  type 1
//     parallel:, serial:   "LPT1:", ... / "COM1:", ...              "Local Port"  type 3
//     (and usb:/<path>)    when the path the backend opens is a character device; a regular
//                          file, a folder, a FIFO, a link to one or no file at all is
//                          "FILE:" (a file printer)                  "Local Port"  type 1
//     fax:, hpfax:         "FAX:"                                   "Local Port"  type 1
//     anything else        "<SCHEME>:" (the scheme in capitals)     "Local Port"  type 1
//                          or, when its URI is a path to something that is there but is no
//                          character device, "FILE:"
//     no device-uri        "NUL:"                                   "Local Port"  type 1
//     a class (no device of its own; its jobs go to its members)
//                          "CLASS:"                                 "Local Port"  type 1
//   port numbers       USB, LPT and COM numbers belong to the device-uri: once given, a
//                      number is kept in the machine folder ("cups-ports.json", see
//                      cups_ports.h), so adding or removing a queue renumbers no other; queues
//                      on one device-uri share its port
//   shared ports       a port several queues with different device-uris share is described by
//                      what they share: "Standard TCP/IP Port: <host>" for "IP_<host>", the
//                      port name for "\\<host>\<q>", "<scheme>:" for a local port
//   driver name        printer-make-and-model, for a raw queue (no driver: "Local Raw Printer",
//                      "Remote Printer") followed by its device kind, "Local Raw Printer (usb)",
//                      so that each kind of raw queue has a driver name of its own; data file = the
//                      queue's PPD in the server's folder (<CUPS_SERVERROOT or
//                      /etc/cups>/ppd/<queue>.ppd) when it has one; driver path = the backend
//                      program /usr/lib/cups/backend/<scheme>, or, for a PostScript queue, CUPS's
//                      PostScript filter /usr/lib/cups/filter/pstops (the queue's PostScript core,
//                      as a PostScript driver's core file is on other systems); config file empty
//   version blocks     none, except the PostScript filter's (FileDescription "PostScript
//                      printer driver", InternalName "pstops"), so the PostScript probe sees
//                      the queue's truth; a block the machine description declares wins
//   PostScript         the make-and-model says "PostScript", a *cupsFilter line hands
//                      PostScript on as it is ("... 0 -"), a *cupsFilter2 line makes
//                      PostScript for the printer, or the PPD has *LanguageLevel and no filter
//                      at all (the printer takes PostScript as it is); a chain that turns
//                      PostScript into something else (foomatic-rip, rastertoxxx) is not
//   attributes         (PRINTER_ATTRIBUTE_*, platform/spooler/winspool.h) LOCAL, or NETWORK
//                      for a remote queue (CUPS_PRINTER_REMOTE); SHARED (printer-is-shared);
//                      DEFAULT; FAX (CUPS_PRINTER_FAX)
//   status             printer-state stopped -> PRINTER_STATUS_PAUSED, processing ->
//                      PRINTER_STATUS_PRINTING;
//                      printer-state-reasons (without -error/-warning/-report): see
//                      reasonStatus
//   jobs               not completed, in queue order: job-id, job-name -> document,
//                      job-originating-user-name, job-originating-host-name -> machine,
//                      job-state -> JOB_STATUS_* (held -> PAUSED, processing -> PRINTING,
//                      stopped -> ERROR), job-k-octets * 1024 -> size,
//                      job-media-sheets-completed -> pages printed, time-at-creation ->
//                      submitted
//   control            printer pause / resume / purge -> Pause-Printer / Resume-Printer /
//                      Purge-Jobs; job pause / resume / cancel / restart / delete -> Hold-Job /
//                      Release-Job / Cancel-Job / Restart-Job / Cancel-Job; a position move
//                      answers ERROR_NOT_SUPPORTED (50)
//   default printer    cupsGetDefault2; set with CUPS-Set-Default, or, when the server
//                      refuses it for lack of rights, as the user's lpoptions default
//   administer right   what the server answers: an operation refused for lack of rights -> 5
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::spooler::cups {

// A queue's port as the platform names it. `shared` describes the port when queues with
// different device-uris share it.
struct MappedPort {
    std::u16string name, monitor, description, shared;
    std::uint32_t type = 1;
};

// A device-uri taken apart after normalising it.
struct DeviceUri {
    std::string scheme;  // lower case
    // Percent-decoded, without user info and brackets; lower case but for a DNS-SD service
    // name (dnssd:), whose instance name keeps its letters. A domain socket's path begins "/".
    std::string host;
    int port = -1;  // -1: none given
    // Percent-decoded, repeated slashes as one, "." and ".." resolved, no trailing slash ("/"
    // stays); "" without a path.
    std::string path;
    std::string query;       // as written, without "?"
    bool authority = false;  // "//" followed the scheme
};
DeviceUri parseDeviceUri(std::string_view uri);

// What reaches this machine's scheduler: its port and the names that stand for this machine
// besides the loopback ones (its host names, the names CUPS reports, its own addresses).
struct Scheduler {
    int port = 631;
    std::vector<std::string> names;
};
// This machine's scheduler: the port the client talks to, this host's names and addresses,
// and `reported` (host names CUPS gave, such as those of printer-uri-supported).
Scheduler thisScheduler(const std::vector<std::string>& reported);
// Whether a host (as parseDeviceUri gives it) is this machine.
bool isThisMachine(const std::string& host, const Scheduler& scheduler);

// The file a backend whose device-uri is a path opens (parallel:/dev/lp0,
// serial:/dev/ttyS0?baud=9600, usb:/dev/usb/lp0): the path after the scheme (and an authority,
// if any), percent-decoded once as the backend decodes it, without its query; "" when the
// device-uri names no absolute path.
std::string devicePath(std::string_view deviceUri);
// What stands at a path, judged as opening it would find it (links followed).
enum class PathKind { CharacterDevice, Other, Missing };
PathKind pathKind(const std::string& path);

// The addresses a host name resolves to (numeric texts), or nullopt when it cannot be resolved.
using Resolver = std::function<std::optional<std::vector<std::string>>(const std::string& host)>;
// The system's resolver (getaddrinfo).
std::optional<std::vector<std::string>> systemAddresses(const std::string& host);
// The resolver the mapping uses when it is given none: the system's, unless another was set
// (tests stand a host alias so); an empty function sets the system's again.
void setResolver(Resolver resolver);
Resolver currentResolver();
// The addresses of each name, looked up at once on threads of their own until `within` has
// passed: a name missing from the answer could not be resolved by then. A lookup still running
// at the end is left to finish by itself; the caller never waits for it.
std::map<std::string, std::vector<std::string>> resolveHosts(const std::vector<std::string>& names,
                                                             const Resolver& resolve,
                                                             std::chrono::milliseconds within);

// How long the mapping waits for the host names of one listing to resolve when it is not told.
constexpr int kLookupDeadlineMs = 5000;
// How the mapping looks host names up: `resolve` (empty: currentResolver()), for at most
// `within` in all.
struct HostLookup {
    Resolver resolve;
    std::chrono::milliseconds within{kLookupDeadlineMs};
};

// The ports whose numbers belong to their device-uri.
enum class NumberedPort { Usb, Parallel, Serial };
std::optional<NumberedPort> numberedPort(std::string_view deviceUri);
// Gives each numbered device-uri of `uris` that `numbers` lacks the lowest number its kind has
// free, in order; numbers already held stay. A path device at whose path no character device
// stands now is no port and gets no number. True when a number was added.
bool numberPorts(std::map<std::string, int>& numbers, const std::vector<std::string>& uris);

// What the port mapping reads of a queue.
struct QueueDevice {
    std::string name, deviceUri;
    std::uint32_t printerType = 0;
};

// The most forwards followed from one queue to the next on this scheduler.
constexpr int kMaxForwards = 8;

// The ports of one listing's queues: each by its device-uri, a forward to a queue of this
// scheduler by the queue it ends on, numbered ports by `numbers` (device-uri -> number; one
// it lacks is numbered as numberPorts does). The host names of the forwards are looked up
// once, all at once, when the mapper is made (`lookup`).
class PortMapper {
  public:
    PortMapper(std::vector<QueueDevice> queues, Scheduler scheduler,
               std::map<std::string, int> numbers = {}, HostLookup lookup = {});
    // The port of queue number `index` of the listing.
    MappedPort portOf(std::size_t index) const;
    // The port of a queue with this device-uri and printer-type that is not in the listing.
    MappedPort portOf(std::string_view deviceUri, std::uint32_t printerType = 0) const;

  private:
    // One queue's mapping: its parsed device-uri and the forwards followed to reach it.
    struct Mapping;
    // What a forward's host is: this machine, another one, or a name not resolved in time.
    enum class Host { ThisMachine, Other, Unknown };
    Host hostOf(const std::string& host) const;
    MappedPort map(const QueueDevice& queue, std::vector<std::size_t>& path) const;
    std::vector<QueueDevice> queues_;
    Scheduler scheduler_;
    std::map<std::string, int> numbers_;
    HostLookup lookup_;
    // The addresses of the forwards' host names that resolved in time.
    mutable std::map<std::string, std::vector<std::string>> resolved_;
};

// The description of a port that the given queue ports share.
std::u16string sharedDescription(const std::vector<MappedPort>& ports);

// The driver name of a queue: its printer-make-and-model, for a raw queue with its device
// kind (the device-uri's scheme).
std::string driverName(std::string_view makeAndModel, std::string_view deviceUri);

// The backend program that sends a queue's jobs, from its device-uri.
std::string backendProgram(std::string_view deviceUri);
// The PostScript filter that stands as a PostScript queue's driver file.
constexpr const char* kPostscriptCore = "/usr/lib/cups/filter/pstops";

// Printer status bits from printer-state (3 idle, 4 processing, 5 stopped) and the keywords of
// printer-state-reasons.
std::uint32_t printerStatus(int state, const std::vector<std::string>& reasons);
// The status bit of one printer-state-reasons keyword (0 for one without an equivalent).
std::uint32_t reasonStatus(std::string_view reason);

// Job status bits from job-state (3 pending ... 9 completed).
std::uint32_t jobStatus(int state);

// Printer attribute bits from printer-type, printer-is-shared and whether the queue is the
// default.
std::uint32_t printerAttributes(std::uint32_t printerType, bool shared, bool isDefault);

// Whether a queue is a PostScript printer, from its PPD text ("" when it has none) and its
// make-and-model.
bool isPostscript(std::string_view ppd, std::string_view makeAndModel);

}  // namespace platform::spooler::cups
