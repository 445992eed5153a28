// iniTool: reads and writes one INI file with the rules of the platform's private-profile
// functions, written here in our own code:
//   - section and key names are compared without letter case; the first duplicate wins;
//   - blanks around keys and values are dropped, and one pair of matching surrounding quotes
//     (" or ') is stripped from a value; lines starting with ";" are comments;
//   - a write creates the file and the section when missing and keeps comments, line order,
//     the file's encoding and its line ends;
//   - deleting a section removes its comment lines too.
// Writers of one file take turns for the whole read, change and write (an advisory lock on the
// file that every write takes, in any thread or process); readers take it shared.
// File encodings: UTF-8 (with or without a byte-order mark), UTF-16LE with a byte-order mark,
// and otherwise the system ANSI code page (949). New files are written in UTF-8 with CR LF.
// Values are never cut: a value of any length comes back whole.
//
// The server's build right-trims values; the watchdog's build trims both ends (Trim::Both).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tessel {

class iniTool {
  public:
    enum class Trim { Right, Both };

    explicit iniTool(Trim trim = Trim::Right) : trim_(trim) {}

    // Stores the path; creates an empty file there when nothing is there (a failure to create
    // it is ignored, the path is stored anyway). A symbolic link, also one to nothing, is left
    // as it is.
    void FileName(const std::u16string& path);
    // Removes the empty file the last FileName made, when it is still that empty file: for a
    // caller whose first write to it failed, so that no file is left that is not finished.
    // True when it was removed.
    bool discardMadeFile();
    const std::u16string& FileName() const { return path_; }
    // The watchdog's spelling of the same property.
    void Filename(const std::u16string& path) { FileName(path); }
    const std::u16string& Filename() const { return path_; }

    // The value of key in section, trimmed by the build's rule and without NUL characters;
    // defaultValue (trimmed the same way) when the file, section or key is missing.
    std::u16string GetValue(const std::u16string& section, const std::u16string& key,
                            const std::u16string& defaultValue = {}) const;
    // True when the file was written; otherwise lastWriteError() says why.
    bool WriteValue(const std::u16string& section, const std::u16string& key,
                    const std::u16string& value);
    bool DeleteSection(const std::u16string& section);
    bool DeleteKey(const std::u16string& section, const std::u16string& key);
    // Names in file order; empty lists when the file or section is missing.
    std::vector<std::u16string> GetAllSections() const;
    std::vector<std::u16string> GetAllKeys(const std::u16string& section) const;

    // Why the last write failed ("the disk is full", ...); empty after a write that worked.
    const std::string& lastWriteError() const { return lastWriteError_; }

    Trim trimRule() const { return trim_; }

  private:
    // WriteValue under the writers' lock.
    bool writeValue(const std::u16string& section, const std::u16string& key,
                    const std::u16string& value);

    Trim trim_;
    std::u16string path_;
    std::string lastWriteError_;
    // The device and inode of the empty file FileName made.
    std::optional<std::pair<dev_t, ino_t>> made_;
};

// The file of an iniTool read once, for many lookups: GetValue answers as iniTool's does, from
// an index instead of reading and scanning the file for every value.
class IniSnapshot {
  public:
    explicit IniSnapshot(const iniTool& ini);
    std::u16string GetValue(const std::u16string& section, const std::u16string& key,
                            const std::u16string& defaultValue = {}) const;

  private:
    iniTool::Trim trim_;
    // Folded section name -> folded key name -> value; the first of each name is kept.
    std::unordered_map<std::u16string, std::unordered_map<std::u16string, std::u16string>>
        sections_;
};

}  // namespace tessel
