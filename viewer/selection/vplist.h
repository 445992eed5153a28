// The deployment's virtual-printer list: the file "vplist.exml" in the machine's system folder.
//
// Format (ours): an XML document whose text is the Base64 form of the list enciphered by the
// outside component AesBridge (key size 128, cipher mode 1, the key text below), the list being
// handed to the cipher as a text (its UTF-16LE bytes). The plain list is records separated by
// character 7, fields by character 8: record 0 the number of records that follow, then per
// record the kind or model and the name or port. The kinds "가상프린터 프로그램" and
// "원격 제어 프로그램" are program entries; any other record is a virtual printer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "viewer/state/selection_lists.h"

namespace vistrel {

inline constexpr const char16_t* kVirtualPrinterFileName = u"vplist.exml";

// One record of the plain list, as a deployment writes it.
struct VirtualPrinterEntry {
    std::u16string first;   // the model, or a program kind
    std::u16string second;  // the port, or the program's name
    bool operator==(const VirtualPrinterEntry&) const = default;
};

// The plain list text of records (count first).
std::u16string virtualPrinterListText(const std::vector<VirtualPrinterEntry>& entries);

// Writes the list file (whole: beside, then renamed into place). False, with the cause in
// `error`, when the cipher or the file fails.
bool writeVirtualPrinterFile(const std::filesystem::path& file,
                             const std::vector<VirtualPrinterEntry>& entries, std::string& error);

// The same from a plain list text as it stands.
bool writeVirtualPrinterText(const std::filesystem::path& file, const std::u16string& plainText,
                             std::string& error);

// The deciphered plain text of a list file. nullopt with the cause in `error` when the file is
// missing, is not a well-formed XML document, or does not decipher; `notAList` tells the
// first two (which count as "no list") from the last.
std::optional<std::u16string> readVirtualPrinterText(const std::filesystem::path& file,
                                                     std::string& error, bool& notAList);

// The records of a plain list text as they stand (record 0 gives their number). Raises
// platform::text::Error for a count that is not a number, a count beyond the records, and a
// record of fewer than two fields; `read` keeps the records taken before the fault.
void splitVirtualPrinterList(const std::u16string& text, std::vector<VirtualPrinterEntry>& read);

// Is this the kind of a program entry?
bool IsProgramKind(std::u16string_view kind);

// Rebuilds this thread's VirtualPrinterList, VirtualPrinterCount and ProgramList from the
// list file of the system folder. A missing file or one that is not XML gives empty lists and
// True. A damaged list (it does not decipher, a bad count, a short record) keeps the entries
// read before the fault and answers False.
bool SetVirtualPrinter();

}  // namespace vistrel
