// Files in protected folders, the machine's MAC address, the version, font smoothing.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/com/error.h"
#include "platform/system/guardedfiles.h"
#include "platform/system/identity.h"
#include "platform/system/machine.h"
#include "platform/system/parameters.h"
#include "platform/system/storefile.h"
#include "platform/text/codepage.h"
#include "platform/text/coding.h"
#include "platform/text/strings.h"
#include "privileged/kestrum.h"

namespace kestrum {

namespace fs = std::filesystem;
namespace sys = platform::system;
using platform::text::fromUtf8;
using platform::text::toUtf8;
using platform::text::Trim;

namespace {

constexpr unsigned kAnsi = platform::text::kCodePageKorean;
constexpr char16_t kNoAddress[] = u"000000000000";

std::string ansi(std::u16string_view text) {
    auto bytes = platform::text::toCodePage(text, kAnsi);
    return std::string(bytes.begin(), bytes.end());
}

fs::path pathOf(std::u16string_view text) {
    return fs::path(toUtf8(Trim(text)));
}

// The bytes a first field may take in the file: a field of double-byte characters takes two
// bytes for each of its kMaxFieldUnits characters.
constexpr std::size_t kMaxFieldBytes = 2 * kMaxFieldUnits;

// The first field of sequential-input text: leading blanks skipped; a quoted field up to its
// closing quote; otherwise up to a comma or a line end, without blanks at either end. The file
// is read only as far as the field goes, and at most kMaxFieldBytes of it are kept (the
// delimiters are single bytes that no double-byte character of the code page contains).
struct FirstField {
    std::u16string text;
    bool emptyFile = true;  // the file holds no byte at all
    bool tooLong = false;   // longer than kMaxFieldUnits characters
};

int readFirstField(const fs::path& file, FirstField& out) {
    int fd = -1;
    if (int e = sys::openGuardedFile(file, fd)) return e;
    enum { Blanks, Plain, Quoted, Done } state = Blanks;
    bool quoted = false;
    std::string bytes;
    char buf[65536];
    while (state != Done) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return e;
        }
        if (n == 0) break;
        out.emptyFile = false;
        for (ssize_t i = 0; i < n && state != Done; ++i) {
            const char c = buf[i];
            if (state == Blanks) {
                if (c == ' ' || c == '\t') continue;
                quoted = c == '"';
                state = quoted ? Quoted : Plain;
                if (quoted) continue;
            }
            if (state == Plain ? (c == ',' || c == '\r' || c == '\n') : c == '"') {
                state = Done;
                break;
            }
            if (bytes.size() == kMaxFieldBytes) {
                out.tooLong = true;
                state = Done;
                break;
            }
            bytes.push_back(c);
        }
    }
    ::close(fd);
    if (out.tooLong) return 0;
    out.text = platform::text::fromCodePage(bytes, kAnsi);
    if (!quoted) out.text = Trim(out.text);
    if (out.text.size() > kMaxFieldUnits) out.tooLong = true;
    return 0;
}

// Anything at all under the name, a link included: what is there but may not be used is an
// error, not a missing file.
bool present(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

// A file, or anything else a directory listing shows under the name; folders are not listed.
bool listed(const fs::path& path) {
    std::error_code ec;
    const fs::file_type type = fs::symlink_status(path, ec).type();
    return type != fs::file_type::not_found && type != fs::file_type::directory;
}

// A file made where its folder is missing: the path is not found, not the file.
int vbErrorOfWrite(int error) {
    return error == ENOENT ? kPathNotFound : vbErrorOfErrno(error);
}

// The log line of a failed file member: what it could not do, the cause in words (`why`, or
// the error's) and the system's name of the error ("the disk is full (ENOSPC)"), so a full disk
// is told apart from the other path/file access errors the member answers.
void logFailure(std::string_view member, const std::string& what, int error,
                const std::string& why = {}) {
    std::string line = std::string(member) + ": cannot " + what + ": " +
                       (why.empty() ? sys::describeError(error) : why);
    if (const char* name = ::strerrorname_np(error)) line += std::string(" (") + name + ")";
    log(fromUtf8(line));
}

fs::path macCache() {
    return sys::systemFolder() / "_MAC_";
}

void writeCache(const std::u16string& mac) {
    if (sys::writeGuardedFile(macCache(), ansi(mac) + "\r\n", false) != 0)
        log(u"cannot write the address cache");
}

}  // namespace

int vbErrorOfErrno(int error) {
    switch (error) {
        case ENOENT:
            return kFileNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return kPermissionDenied;
        case ENOTDIR:
            return kPathNotFound;
        default:
            return kPathFileAccess;
    }
}

std::u16string tempFolder() {
    std::error_code ec;
    std::u16string folder = Trim(fromUtf8(fs::temp_directory_path(ec).string()));
    if (ec || folder.empty()) folder.assign(1, u'/');
    if (folder.back() != u'/') folder += u'/';
    return folder;
}

std::u16string systemFolderText() {
    std::u16string folder = fromUtf8(sys::systemFolder().string());
    if (folder.empty() || folder.back() != u'/') folder += u'/';
    return folder;
}

void moveFileReplace(std::u16string_view source, std::u16string_view target) {
    const fs::path from = pathOf(source), to = pathOf(target);
    if (int e = sys::checkGuardedPath(from)) raiseVb(vbErrorOfErrno(e));
    if (int e = sys::checkGuardedPath(to)) raiseVb(vbErrorOfErrno(e));
    if (!listed(from)) return;  // nothing to move (a folder is not moved either)
    // One step: the target keeps its old contents unless the move succeeds.
    std::string why;
    if (int e = sys::moveGuardedFile(from, to, &why)) {
        logFailure("m_FileMove", "move " + from.string() + " to " + to.string(), e, why);
        raiseVb(e == ENOENT ? kPathNotFound : kPathFileAccess);
    }
}

std::u16string loadFirstField(std::u16string_view path) {
    if (path.empty()) return {};
    const fs::path file = pathOf(path);
    if (int e = sys::checkGuardedPath(file)) raiseVb(vbErrorOfErrno(e));
    if (!present(file)) return {};
    FirstField field;
    if (int e = readFirstField(file, field)) raiseVb(vbErrorOfErrno(e));
    if (field.emptyFile) raiseVb(kInputPastEnd);
    // Checked before the file goes: once it is deleted the field must reach the caller.
    if (field.tooLong)
        platform::com::raise(
            platform::com::hr(0x800A0000u + kOutOfMemory),
            u"The first field is longer than 16777216 characters; the file is kept", u"Kestrum");
    if (int e = sys::removeGuardedFile(file)) raiseVb(vbErrorOfErrno(e));
    return std::move(field.text);
}

// The file is replaced whole (written beside it, synced, renamed over it): a failed save
// leaves the old bytes, where deleting the file first would lose them.
void saveBinFile(std::u16string_view path, std::u16string_view data) {
    const fs::path file = pathOf(path);
    if (int e = sys::replaceGuardedFile(file, ansi(data))) {
        logFailure("m_SaveBinFile", "write " + file.string(), e);
        raiseVb(vbErrorOfWrite(e));
    }
}

// A failed append is cut back to the file's old length: no partial record is left.
void saveAppend(std::u16string_view path, std::u16string_view data) {
    const fs::path file = pathOf(path);
    if (int e = sys::appendGuardedFile(file, ansi(data) + "\r\n")) {
        logFailure("m_SaveAppend", "append to " + file.string(), e);
        raiseVb(vbErrorOfWrite(e));
    }
}

std::u16string version() {
    return u"1.0.0.6";
}

void setFontSmoothing(bool on) {
    if (!sys::setFontSmoothing(on, 3)) log(u"cannot store the font smoothing setting");
}

std::int32_t getFontSmoothing() {
    return sys::fontSmoothing() ? 1 : 0;
}

std::u16string macFromListing(std::u16string_view listing) {
    std::u16string candidate = kNoAddress;
    std::size_t start = 0;
    while (start <= listing.size()) {
        std::size_t end = listing.find(u'\n', start);
        std::u16string line = Trim(listing.substr(
            start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        std::u16string first = line.substr(0, line.find(u' '));
        if (first.size() == 17) candidate = first;
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
    if (candidate.size() != 17) return kNoAddress;
    std::u16string out;
    for (char16_t c : candidate)
        if (c != u'-') out.push_back(c);
    return out;
}

std::u16string macAddress() {
    const fs::path cache = macCache();
    if (sys::guardedFileExists(cache)) {
        FirstField cached;
        readFirstField(cache, cached);
        if (!cached.tooLong && !cached.text.empty() && cached.text != kNoAddress)
            return cached.text;
        sys::removeGuardedFile(cache);
    }
    const std::string ip = sys::hostIPv4();
    if (ip.empty()) log(u"Unable to successfully get Host Name.");
    if (!ip.empty()) {
        if (auto mac = sys::macOfAddress(ip)) {
            std::u16string text = platform::text::toHex(*mac, platform::text::HexCase::Upper);
            writeCache(text);
            return text;
        }
    }
    // The address of the host's name is no interface's own (a loopback alias, say): the
    // last interface of the listing.
    std::u16string listing;
    for (const std::string& line : sys::macListing()) listing += fromUtf8(line) + u"\r\n";
    std::u16string mac = macFromListing(listing);
    writeCache(mac);
    return mac;
}

}  // namespace kestrum
