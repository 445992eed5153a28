// The parameter string that the viewer reads ("Key==value|" entries in a fixed order) and its
// encryption with the message cipher library.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "lib/clock/clock.h"
#include "server/config.h"

namespace tessel::server {

// The 38 entries from the certificate settings; TimeStamp is `now` to the second.
std::u16string MakeParamString(const ServerSettings& settings, const LocalTime& now);

// The prefix the viewer expects in front of the cipher text.
inline constexpr std::u16string_view kParamCipherPrefix = u"1Velmora/DES|";

// The viewer keeps its settings from one parameter text to the next and changes only the keys
// a text holds, while a set-up states the printer entries only when its request gives them.
// This parameter text (Base64 of the plain entries, no cipher) puts the printer entries of an
// issue back to their start values: no default printer, no excepted drivers. The server puts it
// before each issue's own text, so an issue prints with the printer settings of its own set-up.
std::u16string PrinterSettingsResetText();

struct CipherResult {
    bool ok = false;
    std::u16string text;   // the cipher text when ok
    std::u16string error;  // what went wrong otherwise
};

// Encrypts a text with the message cipher under the provider "Velmora/Des".
class ParamCipher {
  public:
    virtual ~ParamCipher() = default;
    // charset is set on the cipher only when not empty. The plain text is handed over, so a
    // long one need not be copied on its way.
    virtual CipherResult encrypt(std::u16string plain, std::u16string_view charset) = 0;
};

// The message cipher library's Crypt class, created through COM by its class identifier for
// each call and released after it. An empty result, a creation or call failure, and the
// library's error texts ("Encryption Error: ...", no provider, unknown algorithm) are failures.
class ComParamCipher : public ParamCipher {
  public:
    CipherResult encrypt(std::u16string plain, std::u16string_view charset) override;
};

// True when a text that the cipher library returned is one of its error texts.
bool isCipherErrorText(std::u16string_view result);

// "+" -> "%2B" and "/" -> "%2F", for Base64 texts in a URL.
std::u16string urlEncodeBase64(std::u16string_view text);

}  // namespace tessel::server
