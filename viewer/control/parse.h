// The parameter string: "key==value|" entries, read into the thread's settings (PrintSettings
// for the ones the printer selection and print road read, ParamSettings for the rest, the
// charset for the next decoding). A key absent from a string leaves its setting as it was.
#pragma once

#include <string>
#include <vector>

namespace vistrel {

// Decodes the kept parameter cipher text and applies its entries, then the adjustments that
// tie settings together (EmulateLocal against the server, the update address, the watermark
// and certificate-letter defaults). An entry whose number does not fit its setting is logged
// and skipped; the entries after it still apply.
void ParseParam();

// The parser's split of a value on a separator ("$$$" or ","), letter case ignored; an empty
// value gives no items.
std::vector<std::u16string> splitList(const std::u16string& value, std::u16string_view separator);

}  // namespace vistrel
