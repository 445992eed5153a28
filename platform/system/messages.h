// The system message table: the text of a Windows error number, as the platform's message
// formatter gives it (ending with a carriage return and line feed), for the numbers that the
// system's code can meet, in the user's interface language (English, or Korean when the user's
// language is Korean). nullopt for a number without a text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::system {

inline constexpr std::uint16_t kLanguageEnglish = 1033;
inline constexpr std::uint16_t kLanguageJapanese = 1041;
inline constexpr std::uint16_t kLanguageKorean = 1042;

// The user's interface language, from LC_ALL, LC_MESSAGES or LANG (the first one set): "ko..."
// Korean, "ja..." Japanese, anything else English.
std::uint16_t userLanguage();

std::optional<std::u16string> formatMessage(std::uint32_t code);
// In a given language; a language without its own texts gets the English ones.
std::optional<std::u16string> formatMessage(std::uint32_t code, std::uint16_t language);

}  // namespace platform::system
