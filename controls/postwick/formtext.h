// The texts of a form post: the value coding of the form body, the target address rule and
// the extraction of quoted pieces from a reply.
#pragma once

#include <string>
#include <string_view>

namespace postwick {

// Percent-coding of a form value: the value's bytes in the system ANSI code page, each ASCII
// digit and letter as itself and every other byte as "%" and two upper-case hexadecimal
// digits (space, "-", ".", "_" and "~" included; nothing becomes "+"). No length limit.
std::u16string encodeFormValue(std::u16string_view value);

// The address stored for a target URL: the value itself when it already names a scheme
// ("http://...", "HTTPS://..."), else "http://" followed by the value.
std::u16string targetAddress(std::u16string_view value);

// The reply's script pieces: the reply is cut into lines at CR LF, CR or LF alike; each line,
// its surrounding spaces removed, that begins "s += " (any case) gives the text between its
// sixth character and its last two (the quoted text of s += "text";), and the pieces are
// joined with nothing between them. A matching line too short to hold that text gives an
// empty piece.
std::u16string extractScriptPieces(std::u16string_view reply);

}  // namespace postwick
