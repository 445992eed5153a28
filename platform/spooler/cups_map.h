// How the machine's real CUPS queues appear to the spooler's callers: the one place where a
// queue's IPP attributes become the platform's printer, port, driver, status and job fields, so
// that the port tables, port words and probes above judge a CUPS queue as they judge any port.
//
//   device name        the queue name; comment = printer-info, location = printer-location
//   port (by the device-uri's scheme; the port's description is the device-uri itself, for a
//   network printer "Standard TCP/IP Port: <device-uri>", as a standard TCP/IP port says)
//     usb:, hp:/usb...     "USB001", "USB002", ... in queue order   "USB Monitor"      type 3
//     socket:, lpd:        "IP_<host>"                              "Standard TCP/IP Port" 3
//     ipp:, ipps:, http:, https:, dnssd: to a printer  (as socket:)
//     ipp(s)/http(s) to /printers/<q> or /classes/<q> of a server, smb://<host>/<q>
//                          "\\<host>\<q>" (the job leaves for another spooler)
//                                                                   "Local Port"  type 1|4
//     implicitclass://<q>/ "\\implicitclass\<q>"                    "Local Port"  type 1|4
//     file:                "FILE:"                                  "Local Port"  type 1
//     cups-pdf:            "CUPS-PDF:" (a virtual printer)          "Local Port"  type 1
//     parallel:, serial:   "LPT1:", ... / "COM1:", ... in queue order  "Local Port" type 3
//     fax:, hpfax:         "FAX:"                                   "Local Port"  type 1
//     anything else        "<SCHEME>:" (the scheme in capitals)     "Local Port"  type 1
//     no device-uri        "NUL:"                                   "Local Port"  type 1
//     a class (no device of its own; its jobs go to its members)
//                          "CLASS:"                                 "Local Port"  type 1
//   driver name        printer-make-and-model; data file = the queue's PPD in the server's
//                      folder (<CUPS_SERVERROOT or /etc/cups>/ppd/<queue>.ppd) when it has
//                      one; driver path = the backend program /usr/lib/cups/backend/<scheme>,
//                      or, for a PostScript queue, CUPS's PostScript filter
//                      /usr/lib/cups/filter/pstops (the queue's PostScript core, as a
//                      PostScript driver's core file is on other systems); config file empty
//   version blocks     none, except the PostScript filter's (FileDescription "PostScript
//                      printer driver", InternalName "pstops"), so the PostScript probe sees
//                      the queue's truth; a block the machine description declares wins
//   PostScript         the make-and-model says "PostScript", a *cupsFilter line hands
//                      PostScript on as it is ("... 0 -"), a *cupsFilter2 line makes
//                      PostScript for the printer, or the PPD has *LanguageLevel and no filter
//                      at all (the printer takes PostScript as it is); a chain that turns
//                      PostScript into something else (foomatic-rip, rastertoxxx) is not
//   attributes         local 0x40, or network 0x10 for a remote queue (printer-type remote
//                      bit); shared 0x8 (printer-is-shared); default 0x4; fax 0x4000
//                      (printer-type fax bit)
//   status             printer-state stopped -> paused 0x1, processing -> printing 0x400;
//                      printer-state-reasons (without -error/-warning/-report): see
//                      reasonStatus
//   jobs               not completed, in queue order: job-id, job-name -> document,
//                      job-originating-user-name, job-originating-host-name -> machine,
//                      job-state -> job status bits (held -> paused 0x1, processing ->
//                      printing 0x10, stopped -> error 0x2), job-k-octets * 1024 -> size,
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

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::spooler::cups {

// A queue's port as the platform names it.
struct MappedPort {
    std::u16string name, monitor, description;
    std::uint32_t type = 1;
};

// Numbers the ports of one listing: "USB001", "LPT1:", "COM1:" count up in queue order.
class PortCounter {
  public:
    MappedPort portOf(std::string_view deviceUri);

  private:
    int usb_ = 0, parallel_ = 0, serial_ = 0;
};

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
