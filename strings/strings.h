// The control library's string table: texts by numeric identifier in English and Korean (and,
// for the identifiers 1 to 4, Japanese), chosen by the user's language. The language comes
// from LC_ALL, LC_MESSAGES or LANG (the first one set): "ko..." is Korean, "ja..." Japanese,
// anything else English. A text the chosen language lacks is taken from English.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace vistrel {

enum class Language { English = 1033, Korean = 1042, Japanese = 1041 };

// The runtime's error 326 for a resource that is not in the table.
class MissingResource : public std::runtime_error {
  public:
    explicit MissingResource(int id);
    int id() const noexcept { return id_; }
    static constexpr int kNumber = 326;

  private:
    int id_;
};

// The user's language (or the one set by setLanguage).
Language currentLanguage();
// Fixes the language of the calling thread (tests, hosts with a language setting); nullopt goes
// back to the user's environment.
void setLanguage(std::optional<Language> language);

// The text of an identifier in the current language; MissingResource for an unknown id.
std::u16string loadString(int id);
std::u16string loadString(int id, Language language);
// nullopt for an unknown id.
std::optional<std::u16string> findString(int id, Language language);
std::optional<std::u16string> findString(int id);

}  // namespace vistrel
