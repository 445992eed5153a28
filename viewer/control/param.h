// The viewer's parameter text: its prefix ([mode digit] vendor "/" algorithm "|"), and the
// decoding of the cipher text after it back into the plain parameter string (Base64 only, or
// the message cipher with the key it carries, then the charset conversion). The state lives in
// the thread's ViewerState.
#pragma once

#include <string>
#include <string_view>

namespace vistrel {

// The `param` put: reads the prefix, keeps the cipher text and parses it at once. Returns what
// the caller's by-reference text holds afterwards: the text after its first "|" once it has
// one (the prefix is cut off before anything is read), the text unchanged otherwise. A text
// without "|", with a second "|" after the prefix, or with a prefix that has no "/" is neither
// decoded nor parsed.
std::u16string putParam(std::u16string text);

// The plain parameter string of a cipher text, or an empty text when it does not decode.
// A failure of the Base64 road (mode 0) is thrown to the caller (the parser reports it);
// the message-cipher road catches its own failures and answers empty.
std::u16string Decode(std::u16string_view cipherText, bool paramFlag, bool xmlFlag);

// The message-cipher road: the key is taken out of the text, checked, and the Base64 part is
// deciphered under it; the bytes become text in the charset of the thread (through the
// charset component) when `convert` is set and the charset is not empty, otherwise in the
// system ANSI code page.
std::u16string DecodeDes(std::u16string_view cipherText, bool convert);

// Base64 through the outside component, the bytes read in the system ANSI code page.
std::u16string Base64DecodeText(std::u16string_view text);

// The line clean-up of the message-cipher texts: lines (ended by CR LF, CR or LF) of more than
// 10 characters after trimming blanks, joined together; shorter lines are dropped.
std::u16string joinLongLines(std::u16string_view text);

}  // namespace vistrel
