// The registry store.
//
// The whole registry of a machine is one UTF-8 text file, "registry.txt" in the machine folder:
//
//     TESSEL REGISTRY 1
//     [HKEY_CLASSES_ROOT\CLSID\{0002DF01-0000-0000-C000-000000000046}]
//     @="Internet Explorer(Ver 1.0)"
//     [HKEY_CLASSES_ROOT\CLSID\{0002DF01-0000-0000-C000-000000000046}\InprocServer32]
//     @="C:\Program Files\Some.dll"
//     "ThreadingModel"="Apartment"
//     "Count"=dword:0000002a
//     END
//
// - The first line names the format and its version; the last line is "END", so a file cut
//   short is recognised as damaged rather than read as a smaller registry.
// - "[ROOT\a\b]" declares key a\b under ROOT (HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE,
//   HKEY_CURRENT_USER, HKEY_USERS) and makes it the key of the value lines that follow. Keys are
//   written parent first and, among siblings, in the order they were created, which is how the
//   order of subkeys survives a round trip. A root gets a line only when it holds values.
// - A value line is NAME=DATA. NAME is @ for the default value or a quoted name. DATA is a
//   quoted text (REG_SZ) or dword:XXXXXXXX (REG_DWORD, eight hex digits).
// - Inside quoted texts and key names, "%XXXX" (four hex digits) stands for one UTF-16 code
//   unit. The writer uses it for "%", control characters (NUL and line breaks included), DEL,
//   unpaired surrogates, '"' inside quotes, and "[", "]", "\" inside key names. Everything else
//   is written as plain UTF-8, so Korean names stay readable.
// - An empty file is an empty registry. A trailing CR on a line is ignored (the writer never
//   writes a raw CR, so one left by an editor cannot be data).
//
// Sharing (see platform/system/storefile.h): a change holds the machine folder's writer lock,
// reads the file, applies itself, writes a temporary file beside it and renames it over
// "registry.txt", so a reader never sees half a file, needs no lock, and a crash mid-write
// leaves the old registry whole. Every call reads the file again; a read whose bytes equal the
// last parsed file reuses that parse.
//
// Bounds: a key lies at most 512 names below its root and the file holds at most 32 MiB; a
// file beyond either is damaged, and a change that would pass them is refused.
//
// Damage: a file that does not parse is never overwritten. Reads see an empty registry, changes
// fail with AccessDenied, and a warning goes to stderr (once per process and file contents), so
// the data stays on disk for someone to repair. A file that cannot be read (permissions, not a
// regular file, too large) reads the same way, with its cause on stderr.
#include "platform/registry/registry.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/system/machine.h"
#include "platform/system/storefile.h"
#include "platform/text/coding.h"
#include "platform/text/strings.h"

namespace platform::registry {

namespace text = platform::text;

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMagic = "TESSEL REGISTRY 1";
constexpr std::string_view kEnd = "END";
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr std::size_t kMaxDepth = 512;                    // key names on a path below a root
constexpr std::size_t kMaxFileBytes = 32u * 1024 * 1024;  // the file, read or written
constexpr int kRootCount = 4;

constexpr std::string_view kRootNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_LOCAL_MACHINE",
                                                     "HKEY_CURRENT_USER", "HKEY_USERS"};

// ---------------------------------------------------------------------------------------------
// Names without regard to case

// Names are compared with the text module's case folding, the same as every other comparison
// without regard to case.
using text::foldCase;

std::u16string folded(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) c = foldCase(c);
    return out;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldCase(a[i]) != foldCase(b[i])) return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The tree

struct Key {
    std::u16string name;
    std::vector<std::unique_ptr<Key>> children;           // in creation order
    std::unordered_map<std::u16string, Key*> childIndex;  // folded name -> child
    std::vector<NamedValue> values;                       // in creation order
    bool declared = false;                                // seen as a "[...]" line (parsing)

    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    // Frees the subtree with a list of its own instead of the call stack, however deep it is.
    ~Key() {
        std::vector<std::unique_ptr<Key>> pending = std::move(children);
        while (!pending.empty()) {
            std::unique_ptr<Key> key = std::move(pending.back());
            pending.pop_back();
            for (auto& child : key->children) pending.push_back(std::move(child));
            key->children.clear();
        }
    }

    Key* child(std::u16string_view childName) const {
        auto it = childIndex.find(folded(childName));
        return it == childIndex.end() ? nullptr : it->second;
    }
    Key* addChild(std::u16string_view childName) {
        auto key = std::make_unique<Key>();
        key->name = childName;
        Key* raw = key.get();
        children.push_back(std::move(key));
        childIndex.emplace(folded(childName), raw);
        return raw;
    }
    void removeChild(Key* gone) {
        childIndex.erase(folded(gone->name));
        std::erase_if(children, [gone](const auto& k) { return k.get() == gone; });
    }
    NamedValue* value(std::u16string_view valueName) {
        for (auto& v : values)
            if (sameName(v.name, valueName)) return &v;
        return nullptr;
    }
};

struct Tree {
    Key roots[kRootCount];
};

using Segments = std::vector<std::u16string_view>;

bool validRoot(Root root) {
    return static_cast<int>(root) >= 0 && static_cast<int>(root) < kRootCount;
}

// Splits "a\b\c" into its key names. One trailing "\" is allowed; an empty name anywhere else,
// or a name longer than the registry allows, makes the path invalid. The empty path is the root.
std::optional<Segments> splitPath(std::u16string_view path) {
    Segments out;
    if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    if (path.empty()) return out;
    std::size_t start = 0;
    while (true) {
        std::size_t end = path.find(u'\\', start);
        std::u16string_view part =
            path.substr(start, end == std::u16string_view::npos ? path.npos : end - start);
        if (part.empty() || part.size() > kMaxKeyNameLength || out.size() == kMaxDepth)
            return std::nullopt;
        out.push_back(part);
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
    return out;
}

// The key at a path, or null; const in, const out.
template <typename TreeType>
auto findKey(TreeType& tree, Root root, const Segments& segments) -> decltype(&tree.roots[0]) {
    auto* key = &tree.roots[static_cast<int>(root)];
    for (auto name : segments) {
        key = key->child(name);
        if (key == nullptr) return nullptr;
    }
    return key;
}

Key* makeKey(Tree& tree, Root root, const Segments& segments) {
    Key* key = &tree.roots[static_cast<int>(root)];
    for (auto name : segments) {
        Key* next = key->child(name);
        key = next != nullptr ? next : key->addChild(name);
    }
    return key;
}

// The operations, on a tree in memory.

Status opCreateKey(Tree& tree, Root root, std::u16string_view path) {
    auto segments = splitPath(path);
    if (!segments || !validRoot(root)) return InvalidParameter;
    makeKey(tree, root, *segments);
    return Ok;
}

Status opSetValue(Tree& tree, Root root, std::u16string_view path, std::u16string_view name,
                  const Value& value) {
    auto segments = splitPath(path);
    if (!segments || !validRoot(root) || name.size() > kMaxValueNameLength) return InvalidParameter;
    Key* key = makeKey(tree, root, *segments);
    if (NamedValue* existing = key->value(name)) {
        existing->value = value;  // the name keeps the case it was created with
    } else {
        key->values.push_back(NamedValue{std::u16string(name), value});
    }
    return Ok;
}

Status opDeleteValue(Tree& tree, Root root, std::u16string_view path, std::u16string_view name) {
    auto segments = splitPath(path);
    if (!segments || !validRoot(root)) return InvalidParameter;
    Key* key = findKey(tree, root, *segments);
    if (key == nullptr) return FileNotFound;
    auto before = key->values.size();
    std::erase_if(key->values, [&](const NamedValue& v) { return sameName(v.name, name); });
    return key->values.size() == before ? FileNotFound : Ok;
}

Status opDeleteKey(Tree& tree, Root root, std::u16string_view path, bool withChildren) {
    auto segments = splitPath(path);
    // A root cannot be deleted.
    if (!segments || segments->empty() || !validRoot(root)) return InvalidParameter;
    Segments parentPath(segments->begin(), segments->end() - 1);
    Key* parent = findKey(tree, root, parentPath);
    Key* key = parent != nullptr ? parent->child(segments->back()) : nullptr;
    if (key == nullptr) return FileNotFound;
    if (!withChildren && !key->children.empty()) return KeyHasChildren;
    parent->removeChild(key);
    return Ok;
}

// ---------------------------------------------------------------------------------------------
// UTF-8 and the escapes of the file

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i], strictly (no overlong forms, no surrogates, nothing past
// U+10FFFF). Advances i; nullopt on a bad sequence.
std::optional<char32_t> decodeUtf8(std::string_view s, std::size_t& i) {
    auto b0 = static_cast<unsigned char>(s[i]);
    int extra;
    char32_t cp;
    if (b0 < 0x80) {
        ++i;
        return b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1, cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2, cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3, cp = b0 & 0x07;
    } else {
        return std::nullopt;
    }
    if (s.size() - i <= std::size_t(extra)) return std::nullopt;
    for (int k = 1; k <= extra; ++k) {
        auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    i += extra + 1;
    return cp;
}

bool isHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

enum class Context { Quoted, KeyName };

void appendEscaped(std::string& out, std::u16string_view s, Context context) {
    auto escape = [&out](char16_t c) {
        out += '%';
        out += text::hexWordAscii(c, 4, text::HexCase::Upper);
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (isHigh(c) && i + 1 < s.size() && isLow(s[i + 1])) {
            appendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            ++i;
        } else if (isHigh(c) || isLow(c) || c < 0x20 || c == 0x7F || c == u'%' ||
                   (context == Context::Quoted && c == u'"') ||
                   (context == Context::KeyName && (c == u'[' || c == u']' || c == u'\\'))) {
            escape(c);
        } else {
            appendUtf8(out, c);
        }
    }
}

// The inverse of appendEscaped. Raw control characters are refused: the writer never leaves
// one, so finding one means the file was damaged.
std::optional<std::u16string> unescape(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b == '%') {
            if (s.size() - i < 5) return std::nullopt;
            const auto unit = text::fromHexWord(s.substr(i + 1, 4));
            if (!unit) return std::nullopt;
            out += char16_t(*unit);
            i += 5;
        } else if (b < 0x20 || b == 0x7F) {
            return std::nullopt;
        } else {
            auto cp = decodeUtf8(s, i);
            if (!cp) return std::nullopt;
            if (*cp >= 0x10000) {
                out += char16_t(0xD800 + ((*cp - 0x10000) >> 10));
                out += char16_t(0xDC00 + ((*cp - 0x10000) & 0x3FF));
            } else {
                out += char16_t(*cp);
            }
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Writing and reading the file's text

void appendQuoted(std::string& out, std::u16string_view s) {
    out += '"';
    appendEscaped(out, s, Context::Quoted);
    out += '"';
}

void writeValues(std::string& out, const Key& key, std::string_view path) {
    out += '[';
    out += path;
    out += "]\n";
    for (const auto& v : key.values) {
        if (v.name.empty()) {
            out += '@';
        } else {
            appendQuoted(out, v.name);
        }
        out += '=';
        if (const auto* text = std::get_if<std::u16string>(&v.value)) {
            appendQuoted(out, *text);
        } else {
            out += "dword:";
            out += text::hexWordAscii(std::get<std::uint32_t>(v.value), 8, text::HexCase::Lower);
        }
        out += '\n';
    }
}

// Writes a root and its subtree, parents first, walking with a list of its own rather than
// the call stack.
void writeRoot(std::string& out, const Key& root, std::string_view rootName) {
    std::string path(rootName);
    if (!root.values.empty()) writeValues(out, root, path);
    struct Step {
        const Key* key;
        std::size_t next;      // the next child to write
        std::size_t pathSize;  // length of `path` up to this key
    };
    std::vector<Step> steps{{&root, 0, path.size()}};
    while (!steps.empty()) {
        Step& step = steps.back();
        if (step.next == step.key->children.size()) {
            steps.pop_back();
            continue;
        }
        const Key& child = *step.key->children[step.next++];
        path.resize(step.pathSize);
        path += '\\';
        appendEscaped(path, child.name, Context::KeyName);
        writeValues(out, child, path);
        steps.push_back({&child, 0, path.size()});
    }
}

std::string serialize(const Tree& tree) {
    std::string out;
    out += kMagic;
    out += '\n';
    for (int r = 0; r < kRootCount; ++r) writeRoot(out, tree.roots[r], kRootNames[r]);
    out += kEnd;
    out += '\n';
    return out;
}

// Parses "NAME" or @ at the start of line; returns the name and the rest of the line.
std::optional<std::pair<std::u16string, std::string_view>> parseName(std::string_view line) {
    if (line.starts_with('@')) return std::pair{std::u16string(), line.substr(1)};
    if (!line.starts_with('"')) return std::nullopt;
    auto close = line.find('"', 1);
    if (close == line.npos) return std::nullopt;
    auto name = unescape(line.substr(1, close - 1));
    if (!name) return std::nullopt;
    return std::pair{std::move(*name), line.substr(close + 1)};
}

std::optional<Value> parseData(std::string_view data) {
    if (data.starts_with('"')) {
        if (data.size() < 2 || !data.ends_with('"')) return std::nullopt;
        auto inner = data.substr(1, data.size() - 2);
        if (inner.find('"') != inner.npos) return std::nullopt;
        auto text = unescape(inner);
        if (!text) return std::nullopt;
        return Value(std::move(*text));
    }
    constexpr std::string_view kDword = "dword:";
    if (data.starts_with(kDword) && data.size() == kDword.size() + 8) {
        const auto n = text::fromHexWord(data.substr(kDword.size()));
        if (!n) return std::nullopt;
        return Value(*n);
    }
    return std::nullopt;
}

Key* parseKeyLine(Tree& tree, std::string_view line) {
    if (line.size() < 2 || line.back() != ']') return nullptr;
    line = line.substr(1, line.size() - 2);
    auto sep = line.find('\\');
    auto rootName = line.substr(0, sep);
    int r = 0;
    while (r < kRootCount && kRootNames[r] != rootName) ++r;
    if (r == kRootCount) return nullptr;
    Key* key = &tree.roots[r];
    std::size_t depth = 0;
    while (sep != line.npos) {
        if (++depth > kMaxDepth) return nullptr;
        auto start = sep + 1;
        sep = line.find('\\', start);
        auto name = unescape(line.substr(start, sep == line.npos ? line.npos : sep - start));
        if (!name || name->empty() || name->size() > kMaxKeyNameLength) return nullptr;
        Key* next = key->child(*name);
        key = next != nullptr ? next : key->addChild(*name);
    }
    if (key->declared) return nullptr;  // the same key twice
    key->declared = true;
    return key;
}

// Parses the whole file; nullptr when it is damaged.
std::unique_ptr<Tree> parse(std::string_view text) {
    auto tree = std::make_unique<Tree>();
    if (text.empty()) return tree;
    Key* current = nullptr;
    bool first = true, ended = false;
    while (!text.empty()) {
        auto nl = text.find('\n');
        if (nl == text.npos) return nullptr;  // cut off mid-line
        auto line = text.substr(0, nl);
        text.remove_prefix(nl + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (ended) {
            if (!line.empty()) return nullptr;
            continue;
        }
        if (first) {
            if (line != kMagic) return nullptr;
            first = false;
            continue;
        }
        if (line.empty()) continue;
        if (line == kEnd) {
            ended = true;
        } else if (line.front() == '[') {
            current = parseKeyLine(*tree, line);
            if (current == nullptr) return nullptr;
        } else {
            if (current == nullptr) return nullptr;
            auto named = parseName(line);
            if (!named || !named->second.starts_with('=')) return nullptr;
            auto value = parseData(named->second.substr(1));
            if (!value || current->value(named->first) != nullptr) return nullptr;
            current->values.push_back(NamedValue{std::move(named->first), std::move(*value)});
        }
    }
    if (!ended) return nullptr;
    return tree;
}

// ---------------------------------------------------------------------------------------------
// The files

using platform::system::FileState;
using platform::system::readWholeFile;
using platform::system::replaceFileAtomically;
using platform::system::StoreLock;

struct Store {
    fs::path folder, file;
};

Store locate() {
    fs::path folder = platform::system::machineFolder();
    return {folder, folder / "registry.txt"};
}

thread_local std::string lastFailure;

// A change that failed: the cause is kept for lastError() and said on standard error, since
// the caller may only pass on a number.
Status failed(Status status, std::string why) {
    std::fprintf(stderr, "tessel registry: %s\n", why.c_str());
    lastFailure = std::move(why);
    return status;
}

Status statusOf(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return DiskFull;
        case EROFS:
            return WriteProtect;
        case ETIMEDOUT:
            return Timeout;
        case EFBIG:
            return QuotaExceeded;
        default:
            return AccessDenied;
    }
}

// Says once per process, file and cause why a file reads as an empty registry.
void warnOnce(const fs::path& file, const std::string& key, const std::string& message) {
    static std::mutex mutex;
    static std::unordered_map<std::string, std::size_t> warned;  // file -> hash of the cause
    std::size_t hash = std::hash<std::string>{}(key);
    std::lock_guard lock(mutex);
    auto [it, fresh] = warned.try_emplace(file.string(), hash);
    if (!fresh && it->second == hash) return;
    it->second = hash;
    std::fprintf(stderr, "tessel registry: %s\n", message.c_str());
}

std::string damagedText(const fs::path& file) {
    return file.string() +
           " is damaged; reading it as empty and refusing to change it until it is repaired or "
           "removed";
}

void warnDamaged(const fs::path& file, const std::string& text) {
    warnOnce(file, text, damagedText(file));
}

// The last parsed file of this process, reused while the file's bytes stay the same.
struct ReadCache {
    std::mutex mutex;
    std::string file;
    std::string text;
    std::shared_ptr<const Tree> tree;
};

ReadCache& readCache() {
    static ReadCache cache;
    return cache;
}

const std::shared_ptr<const Tree>& emptyTree() {
    static const std::shared_ptr<const Tree> empty = std::make_shared<Tree>();
    return empty;
}

// The registry as it is now, for reading. It takes no lock: writers only ever rename complete
// files into place, so a stopped writer never holds a reader up. A missing file is an empty
// registry; an unreadable or damaged one reads as empty too, and says so on standard error.
std::shared_ptr<const Tree> snapshot() {
    Store store = locate();
    std::string text, why;
    int error = 0;
    FileState state = readWholeFile(store.file, text, kMaxFileBytes, why, error);
    if (state == FileState::Unreadable) {
        warnOnce(store.file, "unreadable:" + why, why + "; the registry reads as empty");
        return emptyTree();
    }
    if (state != FileState::Read) return emptyTree();
    auto& cache = readCache();
    {
        std::lock_guard guard(cache.mutex);
        if (cache.tree && cache.file == store.file.native() && cache.text == text)
            return cache.tree;
    }
    std::shared_ptr<const Tree> tree = parse(text);
    if (!tree) {
        warnDamaged(store.file, text);
        return emptyTree();
    }
    std::lock_guard guard(cache.mutex);
    cache.file = store.file.native();
    cache.text = std::move(text);
    cache.tree = tree;
    return tree;
}

// Runs a change under the machine folder's lock and writes the result when it changed the file.
template <typename Change>
Status modify(Change&& change) {
    Store store = locate();
    StoreLock lock;
    std::string why;
    int error = 0;
    if (!lock.acquire(store.folder, why, error)) return failed(statusOf(error), why);
    std::string text;
    FileState state = readWholeFile(store.file, text, kMaxFileBytes, why, error);
    if (state == FileState::Unreadable)
        return failed(statusOf(error), why + "; the registry was not changed");
    std::unique_ptr<Tree> tree = parse(text);
    if (!tree) return failed(AccessDenied, damagedText(store.file));
    if (Status status = change(*tree); status != Ok) return status;
    std::string updated = serialize(*tree);
    if (state == FileState::Read && updated == text) return Ok;
    if (updated.size() > kMaxFileBytes)
        return failed(QuotaExceeded, "the change would make " + store.file.string() +
                                         " larger than " + std::to_string(kMaxFileBytes) +
                                         " bytes; the registry was not changed");
    if (!replaceFileAtomically(store.file, updated, why, error))
        return failed(statusOf(error), why);
    return Ok;
}

// Read helpers: the key at a path of the current registry, or null.
struct Found {
    std::shared_ptr<const Tree> tree;  // keeps key alive
    const Key* key = nullptr;
};

Found lookup(Root root, std::u16string_view path) {
    auto segments = splitPath(path);
    if (!segments || !validRoot(root)) return {};
    Found found{snapshot()};
    found.key = findKey(*found.tree, root, *segments);
    return found;
}

}  // namespace

std::string lastError() {
    return lastFailure;
}

Status createKey(Root root, std::u16string_view path) {
    if (!validRoot(root) || !splitPath(path)) return InvalidParameter;
    return modify([&](Tree& tree) { return opCreateKey(tree, root, path); });
}

bool keyExists(Root root, std::u16string_view path) {
    return lookup(root, path).key != nullptr;
}

Status setValue(Root root, std::u16string_view path, std::u16string_view name, const Value& value) {
    if (!validRoot(root) || !splitPath(path) || name.size() > kMaxValueNameLength)
        return InvalidParameter;
    return modify([&](Tree& tree) { return opSetValue(tree, root, path, name, value); });
}

std::optional<Value> getValue(Root root, std::u16string_view path, std::u16string_view name) {
    auto found = lookup(root, path);
    if (found.key == nullptr) return std::nullopt;
    for (const auto& v : found.key->values)
        if (sameName(v.name, name)) return v.value;
    return std::nullopt;
}

std::optional<std::u16string> getString(Root root, std::u16string_view path,
                                        std::u16string_view name) {
    auto value = getValue(root, path, name);
    if (!value || !std::holds_alternative<std::u16string>(*value)) return std::nullopt;
    return std::get<std::u16string>(std::move(*value));
}

std::optional<std::uint32_t> getDword(Root root, std::u16string_view path,
                                      std::u16string_view name) {
    auto value = getValue(root, path, name);
    if (!value || !std::holds_alternative<std::uint32_t>(*value)) return std::nullopt;
    return std::get<std::uint32_t>(*value);
}

std::vector<std::u16string> subkeys(Root root, std::u16string_view path) {
    std::vector<std::u16string> out;
    auto found = lookup(root, path);
    if (found.key == nullptr) return out;
    out.reserve(found.key->children.size());
    for (const auto& child : found.key->children) out.push_back(child->name);
    return out;
}

std::vector<NamedValue> values(Root root, std::u16string_view path) {
    auto found = lookup(root, path);
    if (found.key == nullptr) return {};
    return found.key->values;
}

Status deleteValue(Root root, std::u16string_view path, std::u16string_view name) {
    if (!validRoot(root) || !splitPath(path)) return InvalidParameter;
    return modify([&](Tree& tree) { return opDeleteValue(tree, root, path, name); });
}

Status deleteKey(Root root, std::u16string_view path) {
    return modify([&](Tree& tree) { return opDeleteKey(tree, root, path, false); });
}

Status deleteTree(Root root, std::u16string_view path) {
    return modify([&](Tree& tree) { return opDeleteKey(tree, root, path, true); });
}

// ---------------------------------------------------------------------------------------------
// Batch

Batch& Batch::createKey(Root root, std::u16string_view path) {
    ops_.push_back(Op{Op::CreateKey, root, std::u16string(path), {}, {}});
    return *this;
}

Batch& Batch::setValue(Root root, std::u16string_view path, std::u16string_view name,
                       const Value& value) {
    ops_.push_back(Op{Op::SetValue, root, std::u16string(path), std::u16string(name), value});
    return *this;
}

Batch& Batch::deleteValue(Root root, std::u16string_view path, std::u16string_view name) {
    ops_.push_back(Op{Op::DeleteValue, root, std::u16string(path), std::u16string(name), {}});
    return *this;
}

Batch& Batch::deleteTree(Root root, std::u16string_view path) {
    ops_.push_back(Op{Op::DeleteTree, root, std::u16string(path), {}, {}});
    return *this;
}

Status Batch::commit() {
    if (ops_.empty()) return Ok;
    return modify([this](Tree& tree) {
        for (const Op& op : ops_) {
            Status status = Ok;
            switch (op.kind) {
                case Op::CreateKey:
                    status = opCreateKey(tree, op.root, op.path);
                    break;
                case Op::SetValue:
                    status = opSetValue(tree, op.root, op.path, op.name, op.value);
                    break;
                case Op::DeleteValue:
                    status = opDeleteValue(tree, op.root, op.path, op.name);
                    break;
                case Op::DeleteTree:
                    status = opDeleteKey(tree, op.root, op.path, true);
                    break;
            }
            // Deleting what is not there leaves the batch's goal reached: registration code
            // removes keys before recreating them, on a first registration too.
            if (status == FileNotFound && (op.kind == Op::DeleteValue || op.kind == Op::DeleteTree))
                continue;
            if (status != Ok) return status;  // the tree is dropped unwritten
        }
        return Ok;
    });
}

}  // namespace platform::registry
