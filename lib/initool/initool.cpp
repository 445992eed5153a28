#include "lib/initool/initool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/system/filelimit.h"
#include "platform/system/givenfile.h"
#include "platform/system/storefile.h"
#include "platform/text/text.h"

namespace tessel {

namespace text = platform::text;
namespace sys = platform::system;

namespace {

enum class Encoding { Utf8, Utf8Bom, Utf16le, Ansi };

struct IniFile {
    Encoding encoding = Encoding::Utf8;
    std::u16string newline = u"\r\n";
    bool finalNewline = true;
    std::vector<std::u16string> lines;
    // In an ANSI file, the bytes each line was read from (none for a line a write made): a
    // line the code page cannot decode whole is written back as it was, not as "?".
    std::vector<std::optional<std::string>> ansiLines;

    void replaceLine(std::size_t at, std::u16string line) {
        lines[at] = std::move(line);
        if (at < ansiLines.size()) ansiLines[at].reset();
    }
    void insertLine(std::size_t at, std::u16string line) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
        if (encoding == Encoding::Ansi)
            ansiLines.insert(ansiLines.begin() + static_cast<std::ptrdiff_t>(at), std::nullopt);
    }
    void eraseLines(std::size_t from, std::size_t to) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(from),
                    lines.begin() + static_cast<std::ptrdiff_t>(to));
        if (encoding == Encoding::Ansi)
            ansiLines.erase(ansiLines.begin() + static_cast<std::ptrdiff_t>(from),
                            ansiLines.begin() + static_cast<std::ptrdiff_t>(to));
    }
};

std::filesystem::path fsPath(const std::u16string& path) {
    return std::filesystem::path(text::toUtf8(path));
}

bool validUtf8(const std::string& s) {
    std::size_t i = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    while (i < s.size()) {
        unsigned char c = p[i];
        std::size_t n;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
        } else {
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size() || (p[i + k] & 0xC0) != 0x80) return false;
        }
        i += n + 1;
    }
    return true;
}

// The most an INI file may hold; a larger one is not read (and not written over).
constexpr std::size_t kIniFileLimit = 16 << 20;

// Reads the file; nullopt when it cannot be read. `refused` tells a file that is there but is
// not read (not a regular file, over the limit, unreadable) from a missing one: writes must
// not put a new file in place of such a file. `why` (when given) receives the reason a file
// was refused, and is emptied otherwise.
std::optional<IniFile> readFile(const std::u16string& path, bool* refused = nullptr,
                                std::string* why = nullptr) {
    if (refused) *refused = false;
    if (why) why->clear();
    if (path.empty()) return std::nullopt;
    std::string bytes;
    platform::system::GivenFileError failure;
    if (!platform::system::readGivenFile(fsPath(path), kIniFileLimit, bytes, failure)) {
        const bool isThere = failure.error != ENOENT;
        if (refused) *refused = isThere;
        if (why && isThere) *why = failure.why;
        return std::nullopt;
    }
    IniFile file;
    std::u16string content;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        file.encoding = Encoding::Utf8Bom;
        content = text::fromUtf8(std::string_view(bytes).substr(3));
    } else if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
        file.encoding = Encoding::Utf16le;
        content = text::fromCodePage(std::string_view(bytes).substr(2), text::kCodePageUtf16le);
    } else if (validUtf8(bytes)) {
        file.encoding = Encoding::Utf8;
        content = text::fromUtf8(bytes);
    } else {
        file.encoding = Encoding::Ansi;
        content = text::fromAnsi(bytes);
        std::size_t start = 0;
        while (start < bytes.size()) {
            std::size_t end = bytes.find('\n', start);
            if (end == std::string::npos) end = bytes.size();
            std::string line = bytes.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            file.ansiLines.push_back(std::move(line));
            start = end + 1;
        }
    }
    std::size_t firstLf = content.find(u'\n');
    if (firstLf != std::u16string::npos)
        file.newline = (firstLf > 0 && content[firstLf - 1] == u'\r') ? u"\r\n" : u"\n";
    file.finalNewline = content.empty() || content.back() == u'\n';
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find(u'\n', start);
        if (end == std::u16string::npos) end = content.size();
        std::u16string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        file.lines.push_back(std::move(line));
        start = end + 1;
    }
    return file;
}

// Writes `data` at the start of the file; `done` tells how far it got, also on a failure.
int writeAllAt(int fd, const char* data, std::size_t size, std::size_t& done) {
    for (done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += std::size_t(n);
    }
    return 0;
}

// Rewrites the file itself with `bytes`, for a folder that takes no new file. The caller holds
// the file's writer lock, so no other writer reads or writes it meanwhile. The file is never cut
// first, and never holds a byte that is not text: the room the new contents need is reserved
// beyond the file's end without the file growing (a full disk is met there, a file size limit
// before it, with the file untouched), the new bytes are written over the old ones and the
// file is cut to their length once they are all written. A write that still fails puts back
// the old bytes it overwrote. The cause of a failure goes to `why`. What this road cannot
// survive is a crash (kill -9, a power loss) half-way through: the file may then hold the new
// contents in front and the old ones behind.
bool rewriteInPlace(const std::filesystem::path& file, const std::string& bytes, std::string& why) {
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::canonical(file, ec);
    if (ec) {
        why = "cannot find " + file.string() + ": " + platform::system::describeError(ec.value());
        return false;
    }
    const std::string name = target.string();
    auto failure = [&](const std::string& step, int e) {
        why = step + " " + name + ": " + platform::system::describeError(e) +
              "; the file is left as it was";
        return false;
    };
    if (int e = platform::system::fileSizeLimitError(bytes.size()))
        return failure("cannot write " + std::to_string(bytes.size()) +
                           " bytes (the file size limit of this program) to",
                       e);
    const int fd = ::open(target.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failure("cannot open", errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return failure("cannot look at", errno);
    if (!S_ISREG(st.st_mode)) return failure("cannot rewrite", EINVAL);
    if (std::uint64_t(st.st_size) > kIniFileLimit) return failure("cannot rewrite", EFBIG);
    std::string old(std::size_t(st.st_size), '\0');
    for (std::size_t at = 0; at < old.size();) {
        const ssize_t n = ::pread(fd, old.data() + at, old.size() - at, off_t(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failure("cannot read", errno);
        if (n == 0) {
            old.resize(at);
            break;
        }
        at += std::size_t(n);
    }
    if (bytes.size() > old.size()) {
        // Kept beyond the end: the file does not grow by zeros that a reader, or the file after
        // a crash, would hold as text. A file system that cannot reserve goes without.
        if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) != 0 &&
            errno != EOPNOTSUPP && errno != ENOSYS) {
            const int e = errno;
            if (::ftruncate(fd, off_t(old.size())) == 0) ::fsync(fd);  // the room given back
            return failure("cannot reserve " + std::to_string(bytes.size()) + " bytes for", e);
        }
    }
    std::size_t written = 0;
    int e = writeAllAt(fd, bytes.data(), bytes.size(), written);
    if (e == 0 && ::ftruncate(fd, off_t(bytes.size())) != 0) e = errno;
    if (e == 0 && ::fsync(fd) != 0) e = errno;
    if (e == 0) return true;
    // The old bytes back where new ones went (the rest was never touched), over room that is
    // already the file's, and the old length.
    std::size_t restored = 0;
    int back = writeAllAt(fd, old.data(), std::min(written, old.size()), restored);
    if (back == 0 && ::ftruncate(fd, off_t(old.size())) != 0) back = errno;
    if (back == 0 && ::fsync(fd) != 0) back = errno;
    if (back == 0) return failure("cannot write", e);
    why = "cannot write " + name + ": " + platform::system::describeError(e) +
          "; putting the old contents back failed too: " + platform::system::describeError(back);
    return false;
}

bool writeFile(const std::u16string& path, const IniFile& file, std::string& why) {
    std::u16string content;
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        content += file.lines[i];
        if (i + 1 < file.lines.size() || file.finalNewline) content += file.newline;
    }
    std::string bytes;
    switch (file.encoding) {
        case Encoding::Utf8Bom:
            bytes = "\xEF\xBB\xBF" + text::toUtf8(content);
            break;
        case Encoding::Utf8:
            bytes = text::toUtf8(content);
            break;
        case Encoding::Utf16le: {
            auto b = text::toCodePage(content, text::kCodePageUtf16le);
            bytes = "\xFF\xFE" + std::string(b.begin(), b.end());
            break;
        }
        case Encoding::Ansi: {
            const std::string newline = text::toUtf8(file.newline);
            for (std::size_t i = 0; i < file.lines.size(); ++i) {
                if (i < file.ansiLines.size() && file.ansiLines[i]) {
                    bytes += *file.ansiLines[i];
                } else {
                    auto b = text::toAnsi(file.lines[i]);
                    bytes.append(b.begin(), b.end());
                }
                if (i + 1 < file.lines.size() || file.finalNewline) bytes += newline;
            }
            break;
        }
    }
    // Written beside the file (a link's target), synced and renamed over it, so a failed write
    // never leaves half a file. A folder that takes no new file gets the file rewritten in place
    // in a way that gives the old bytes back when the write fails.
    int error = 0;
    std::string atomicWhy;
    if (platform::system::replaceFileAtomically(fsPath(path), bytes, atomicWhy, error)) {
        why.clear();
        return true;
    }
    why = atomicWhy;
    if (error != EACCES && error != EPERM) return false;
    std::string inPlaceWhy;
    if (rewriteInPlace(fsPath(path), bytes, inPlaceWhy)) {
        why.clear();
        return true;
    }
    why = atomicWhy + "; written in place instead: " + inPlaceWhy;
    return false;
}

constexpr auto kLockWait = std::chrono::seconds(10);

// Readers take the file's lock shared, so that they never see a rewrite in place half-way; a
// lock not had in time is gone without (the read goes on).
std::optional<IniFile> readLocked(const std::u16string& path) {
    sys::FileLock lock;
    if (!path.empty())
        lock.acquire(fsPath(path), O_RDONLY | O_NONBLOCK | O_NOCTTY, sys::FileLock::Kind::Shared,
                     kLockWait);
    return readFile(path);
}

// The writers' lock of an INI: an advisory lock on the file itself, held from reading the file
// to the end of writing it, whichever way it is written, so that writers in threads and
// processes take turns and none writes over what another wrote meanwhile. A missing file is
// made empty to be locked (unmade again when the write fails); a link stands for its target,
// and a link to nothing is neither followed nor made.
class WriteLock {
  public:
    // False (with `why`) only when another writer kept the lock too long; a file that cannot
    // be opened is written unlocked, and its write tells why it fails.
    bool acquire(const std::u16string& path, std::string& why) {
        file_ = fsPath(path);
        struct stat ls {};
        const bool link = ::lstat(file_.c_str(), &ls) == 0 && S_ISLNK(ls.st_mode);
        const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | (link ? 0 : O_CREAT | O_NOFOLLOW);
        const int e =
            lock_.acquire(file_, flags, sys::FileLock::Kind::Exclusive, kLockWait, 0644, &made_);
        if (e != ETIMEDOUT) return true;
        why = "cannot write " + file_.string() + ": another writer has held it for longer than " +
              std::to_string(kLockWait.count()) + " seconds; nothing was written";
        return false;
    }
    // The answer of the write; a file this lock made for a write that failed goes again.
    bool done(bool written) {
        struct stat named {};
        struct stat mine {};
        if (!written && made_ && ::lstat(file_.c_str(), &named) == 0 &&
            ::fstat(lock_.fd(), &mine) == 0 && named.st_dev == mine.st_dev &&
            named.st_ino == mine.st_ino && named.st_size == 0)
            ::unlink(file_.c_str());
        return written;
    }

  private:
    std::filesystem::path file_;
    sys::FileLock lock_;
    bool made_ = false;
};

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

std::u16string trimBlanks(std::u16string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return std::u16string(s.substr(b, e - b));
}

// One line as the profile functions see it.
struct Line {
    enum Kind { Other, Section, Key } kind = Other;
    std::u16string name;   // section or key name
    std::u16string value;  // key value, quotes stripped
};

Line classify(const std::u16string& raw) {
    Line line;
    std::u16string t = trimBlanks(raw);
    if (t.empty() || t[0] == u';') return line;
    if (t[0] == u'[') {
        line.kind = Line::Section;
        std::size_t close = t.find(u']');
        line.name = trimBlanks(std::u16string_view(t).substr(
            1, close == std::u16string::npos ? std::u16string::npos : close - 1));
        return line;
    }
    line.kind = Line::Key;
    std::size_t eq = t.find(u'=');
    if (eq == std::u16string::npos) {
        line.name = t;
        return line;
    }
    line.name = trimBlanks(std::u16string_view(t).substr(0, eq));
    line.value = trimBlanks(std::u16string_view(t).substr(eq + 1));
    if (line.value.size() >= 2 && (line.value[0] == u'"' || line.value[0] == u'\'') &&
        line.value.back() == line.value[0])
        line.value = line.value.substr(1, line.value.size() - 2);
    return line;
}

// The range [header, end) of the first section with that name; nullopt when absent.
std::optional<std::pair<std::size_t, std::size_t>> findSection(const IniFile& file,
                                                               const std::u16string& name) {
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        Line l = classify(file.lines[i]);
        if (l.kind != Line::Section || !text::equalsNoCase(l.name, name)) continue;
        std::size_t end = i + 1;
        while (end < file.lines.size() && classify(file.lines[end]).kind != Line::Section) ++end;
        return std::make_pair(i, end);
    }
    return std::nullopt;
}

std::optional<std::size_t> findKey(const IniFile& file, std::pair<std::size_t, std::size_t> range,
                                   const std::u16string& key) {
    for (std::size_t i = range.first + 1; i < range.second; ++i) {
        Line l = classify(file.lines[i]);
        if (l.kind == Line::Key && text::equalsNoCase(l.name, key)) return i;
    }
    return std::nullopt;
}

std::u16string dropNuls(std::u16string s) {
    std::erase(s, u'\0');
    return s;
}

std::u16string trimmedValue(std::u16string s, iniTool::Trim trim) {
    s = dropNuls(std::move(s));
    return trim == iniTool::Trim::Both ? trimBlanks(s) : text::RTrim(s);
}

// The form of a name under which names equal without regard to letter case meet: the fold
// that equalsNoCase compares with, unit by unit.
std::u16string folded(std::u16string_view name) {
    std::u16string out(name);
    for (auto& c : out) c = text::foldCase(c);
    return out;
}

}  // namespace

void iniTool::FileName(const std::u16string& path) {
    made_.reset();
    path_ = path;
    if (path.empty()) return;
    // Made only where nothing is, a link included (never through a link to nothing): an empty
    // file is whole the moment it is there.
    const int fd = ::open(fsPath(path).c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0) made_ = std::make_pair(st.st_dev, st.st_ino);
    ::close(fd);
}

bool iniTool::discardMadeFile() {
    if (!made_ || path_.empty()) return false;
    const auto made = *made_;
    made_.reset();
    struct stat st {};
    const std::filesystem::path file = fsPath(path_);
    if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0 ||
        std::make_pair(st.st_dev, st.st_ino) != made)
        return false;
    return ::unlink(file.c_str()) == 0;
}

std::u16string iniTool::GetValue(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& defaultValue) const {
    auto trimmed = [this](std::u16string s) { return trimmedValue(std::move(s), trim_); };
    auto file = readLocked(path_);
    if (!file) return trimmed(defaultValue);
    auto range = findSection(*file, section);
    if (!range) return trimmed(defaultValue);
    auto at = findKey(*file, *range, key);
    if (!at) return trimmed(defaultValue);
    return trimmed(classify(file->lines[*at]).value);
}

bool iniTool::WriteValue(const std::u16string& section, const std::u16string& key,
                         const std::u16string& value) {
    if (path_.empty()) return false;
    WriteLock lock;
    if (!lock.acquire(path_, lastWriteError_)) return false;
    return lock.done(writeValue(section, key, value));
}

bool iniTool::writeValue(const std::u16string& section, const std::u16string& key,
                         const std::u16string& value) {
    bool refused = false;
    IniFile file = readFile(path_, &refused, &lastWriteError_).value_or(IniFile{});
    if (refused) return false;
    std::u16string entry = key + u"=" + value;
    auto range = findSection(file, section);
    if (!range) {
        file.insertLine(file.lines.size(), u"[" + section + u"]");
        file.insertLine(file.lines.size(), entry);
        file.finalNewline = true;
        return writeFile(path_, file, lastWriteError_);
    }
    if (auto at = findKey(file, *range, key)) {
        file.replaceLine(*at, entry);
        return writeFile(path_, file, lastWriteError_);
    }
    // After the section's last entry, so trailing blank lines and comments stay below it.
    std::size_t insertAt = range->first + 1;
    for (std::size_t i = range->first + 1; i < range->second; ++i)
        if (classify(file.lines[i]).kind == Line::Key) insertAt = i + 1;
    file.insertLine(insertAt, entry);
    if (insertAt == file.lines.size() - 1) file.finalNewline = true;
    return writeFile(path_, file, lastWriteError_);
}

namespace {

// What a delete does to the file: reads it (a missing one is written empty, as a delete makes
// it), finds the section and takes out the lines `lines` picks in it (nullopt: nothing to
// take out, nothing written).
template <class PickLines>
bool deleteLines(const std::u16string& path, const std::u16string& section, std::string& why,
                 PickLines lines) {
    if (path.empty()) return false;
    WriteLock lock;
    if (!lock.acquire(path, why)) return false;
    bool refused = false;
    auto file = readFile(path, &refused, &why);
    if (!file) return lock.done(!refused && writeFile(path, IniFile{}, why));
    auto range = findSection(*file, section);
    if (!range) return true;
    const std::optional<std::pair<std::size_t, std::size_t>> gone = lines(*file, *range);
    if (!gone) return true;
    file->eraseLines(gone->first, gone->second);
    return lock.done(writeFile(path, *file, why));
}

}  // namespace

bool iniTool::DeleteSection(const std::u16string& section) {
    return deleteLines(path_, section, lastWriteError_, [](const IniFile&, auto range) {
        return std::optional<std::pair<std::size_t, std::size_t>>(range);
    });
}

bool iniTool::DeleteKey(const std::u16string& section, const std::u16string& key) {
    return deleteLines(path_, section, lastWriteError_, [&](const IniFile& file, auto range) {
        std::optional<std::pair<std::size_t, std::size_t>> line;
        if (auto at = findKey(file, range, key)) line.emplace(*at, *at + 1);
        return line;
    });
}

std::vector<std::u16string> iniTool::GetAllSections() const {
    std::vector<std::u16string> names;
    auto file = readLocked(path_);
    if (!file) return names;
    for (const auto& raw : file->lines) {
        Line l = classify(raw);
        if (l.kind == Line::Section && !l.name.empty()) names.push_back(dropNuls(l.name));
    }
    return names;
}

std::vector<std::u16string> iniTool::GetAllKeys(const std::u16string& section) const {
    std::vector<std::u16string> names;
    auto file = readLocked(path_);
    if (!file) return names;
    auto range = findSection(*file, section);
    if (!range) return names;
    for (std::size_t i = range->first + 1; i < range->second; ++i) {
        Line l = classify(file->lines[i]);
        if (l.kind == Line::Key && !l.name.empty()) names.push_back(dropNuls(l.name));
    }
    return names;
}

IniSnapshot::IniSnapshot(const iniTool& ini) : trim_(ini.trimRule()) {
    auto file = readLocked(ini.FileName());
    if (!file) return;
    // Only the first section of a name counts, and in it the first entry of a key.
    std::unordered_map<std::u16string, std::u16string>* current = nullptr;
    for (const auto& raw : file->lines) {
        Line l = classify(raw);
        if (l.kind == Line::Section) {
            auto [it, fresh] = sections_.try_emplace(folded(l.name));
            current = fresh ? &it->second : nullptr;
        } else if (l.kind == Line::Key && current) {
            current->try_emplace(folded(l.name), std::move(l.value));
        }
    }
}

std::u16string IniSnapshot::GetValue(const std::u16string& section, const std::u16string& key,
                                     const std::u16string& defaultValue) const {
    auto s = sections_.find(folded(section));
    if (s == sections_.end()) return trimmedValue(defaultValue, trim_);
    auto k = s->second.find(folded(key));
    if (k == s->second.end()) return trimmedValue(defaultValue, trim_);
    return trimmedValue(k->second, trim_);
}

}  // namespace tessel
