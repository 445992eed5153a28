// The server's settings, read from its INI file (the file named after the program beside it,
// or the one given with --ini).
//
// [SYSTEM] PORT, LocalIP, AUTOEVENTS, TRAYICON, LOGDIR, LogLevel, WINDOWSTATE, TOPWIN, HIDEWIN,
//          WINDOWINIT, MAININI, InitReload, SendErrmsg, and the receive limits
//          MaxFrameLength (characters of one frame, default 32 Mi), MaxPageListLength
//          (characters of the page list of one issue, default 256 Mi) and
//          IncompleteFrameTimeout (seconds a frame may stay unfinished, default 60);
// [CERTPARAM] the certificate settings that go into the parameter string;
// [XML] GETTYPE, CharSet, URLPATH<host type>, CharSet<host type>;
// [DATAFRAME] DIGIT, MinDigit, LAYOUTCODE, DATA;
// the MAININI file's [HOST] TYPE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "lib/initool/initool.h"

namespace tessel::server {

inline constexpr int kDefaultPort = 9900;
inline constexpr std::size_t kDefaultMaxPageList = 256u * 1024 * 1024;
// Freed memory the server keeps for the next issue after a set-up (what an issue of ten A4 pages
// leaves free: its page list, the decoders' and the PDF writer's buffers); above it, all is
// given back.
inline constexpr std::size_t kFreeMemoryReserve = 128u * 1024 * 1024;
// The largest block the heap hands out and takes back instead of mapping it afresh: a decoded
// A4 page at 300 dpi (about 35 MB at 4 bytes a pixel) still maps; the pages of 200 dpi scans,
// the page list's pieces and the PDF writer's buffers come from the heap and are reused.
inline constexpr std::size_t kLargestHeapBlock = 32u * 1024 * 1024;
inline constexpr std::size_t kDefaultIncompleteFrameTimeout = 60;
// Seconds without a request (and without a run) after which the memory kept for the next issue
// goes back to the system.
inline constexpr std::int64_t kIdleMemoryGiveBack = 30;

// The default address of a page of the local web server ("http://localhost:8080/tessel/...").
std::u16string localWebAddress(std::u16string_view page);

struct ServerSettings {
    // [SYSTEM]
    std::u16string portText;  // as written in the INI
    int port = kDefaultPort;  // checked: 1..65535, else 9900
    bool autoEvents = false;
    bool trayIcon = true;
    std::u16string logDir;
    int logLevel = 10;
    std::u16string windowState;
    bool topWin = false;
    bool hideWin = true;
    std::u16string windowInit;
    std::size_t maxFrame = 0;
    std::size_t maxPageList = 0;
    std::size_t incompleteFrameTimeout = 0;  // seconds

    // [CERTPARAM], by INI key.
    std::map<std::u16string, std::u16string> cert;
    std::u16string certValue(const std::u16string& key) const;

    // [XML]
    std::u16string getType;
    std::u16string xmlCharset;

    // The host group (re-read at set-up requests when InitReload is on).
    std::u16string mainIni;
    bool initReload = true;
    bool sendErrmsg = true;
    std::u16string hostType;
    std::u16string layoutServer;
    std::u16string charset;

    // [DATAFRAME], kept for the layout-server request.
    std::vector<int> digitWidths;
    std::vector<int> digitStarts;
    std::u16string minDigit, layoutCode, data;

    // Problems found while reading, for the log.
    std::vector<std::u16string> warnings;
};

// Reads every setting except LocalIP (the address has its own road) and the host group.
// programFolder: the folder of the running program, with "/" separators.
ServerSettings readSettings(const iniTool& ini, const std::u16string& programFolder);
// Reads MAININI, InitReload, SendErrmsg and the host group into settings.
void readHostSettings(const iniTool& ini, ServerSettings& settings);

// The [CERTPARAM] keys with their defaults, in the INI's order.
struct CertKey {
    std::u16string key;
    std::u16string defaultValue;
    bool trimmed = false;
};
std::vector<CertKey> certKeys(const std::u16string& programFolder);

}  // namespace tessel::server
