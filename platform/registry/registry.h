// The machine's registry: keys and named values under three roots, kept in one file of the
// machine folder ("registry.txt") and shared between processes with an advisory lock.
//
// Key paths use "\" between key names, as the Windows registry does; names compare without
// regard to case and keep the case they were created with. The default value of a key has
// the empty name. Every call reads the file afresh (a change under the machine folder's writer
// lock, replacing the file atomically), so what one process writes the next call of another
// process sees. A key path holds at most 512 names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform::registry {

enum class Root { ClassesRoot, LocalMachine, CurrentUser, Users };

// A value is a text (REG_SZ) or a 32-bit number (REG_DWORD).
using Value = std::variant<std::u16string, std::uint32_t>;

// Windows error numbers, as the registry functions report them.
enum Status : long {
    Ok = 0,
    FileNotFound = 2,       // ERROR_FILE_NOT_FOUND: no such key or value
    AccessDenied = 5,       // ERROR_ACCESS_DENIED: the store cannot be read or written
    WriteProtect = 19,      // ERROR_WRITE_PROTECT: the machine folder is on a read-only disk
    InvalidParameter = 87,  // ERROR_INVALID_PARAMETER: bad key path
    DiskFull = 112,         // ERROR_DISK_FULL: no room to write the store
    KeyHasChildren = 1020,  // ERROR_KEY_HAS_CHILDREN: DeleteKey on a key with subkeys
    Timeout = 1460,         // ERROR_TIMEOUT: another writer kept the lock too long
    QuotaExceeded = 1816,   // ERROR_NOT_ENOUGH_QUOTA: the store would grow past its limit
};

// What made the last failed change of this thread fail, for people (it also goes to standard
// error): "cannot write .../registry.txt: the disk is full".
std::string lastError();

struct NamedValue {
    std::u16string name;
    Value value;
};

// Creates the key and any missing parents. Creating an existing key is Ok.
Status createKey(Root root, std::u16string_view path);
bool keyExists(Root root, std::u16string_view path);
// Sets a value, creating the key and its parents when missing.
Status setValue(Root root, std::u16string_view path, std::u16string_view name, const Value& value);
std::optional<Value> getValue(Root root, std::u16string_view path, std::u16string_view name = {});
// The value as text when it is a text value; nullopt when missing or a number.
std::optional<std::u16string> getString(Root root, std::u16string_view path,
                                        std::u16string_view name = {});
std::optional<std::uint32_t> getDword(Root root, std::u16string_view path,
                                      std::u16string_view name = {});
// Subkey names in the order they were created; empty when the key is missing.
std::vector<std::u16string> subkeys(Root root, std::u16string_view path);
std::vector<NamedValue> values(Root root, std::u16string_view path);
Status deleteValue(Root root, std::u16string_view path, std::u16string_view name);
// Deletes a key without subkeys (KeyHasChildren otherwise).
Status deleteKey(Root root, std::u16string_view path);
// Deletes a key with everything under it.
Status deleteTree(Root root, std::u16string_view path);

// A batch of changes applied under one exclusive lock and one write of the file, for
// registration code that writes many keys at once. Ops run in order; the first failure
// stops the batch and nothing of it is written. Deleting a key or value that is missing is
// not a failure in a batch.
class Batch {
  public:
    Batch& createKey(Root root, std::u16string_view path);
    Batch& setValue(Root root, std::u16string_view path, std::u16string_view name,
                    const Value& value);
    Batch& deleteValue(Root root, std::u16string_view path, std::u16string_view name);
    Batch& deleteTree(Root root, std::u16string_view path);
    Status commit();

  private:
    struct Op {
        enum Kind { CreateKey, SetValue, DeleteValue, DeleteTree } kind;
        Root root;
        std::u16string path;
        std::u16string name;
        Value value;
    };
    std::vector<Op> ops_;
};

}  // namespace platform::registry
