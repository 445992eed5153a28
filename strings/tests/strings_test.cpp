#include "strings/strings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using namespace vistrel;

namespace {

TEST(StringTable, TextsByLanguage) {
    struct Case {
        int id;
        Language language;
        std::u16string text;
    } cases[] = {
        {2, Language::Korean, u"굴림"},
        {2, Language::English, u"Tahoma"},
        {2, Language::Japanese, u"MS UI Gothic"},
        {3, Language::Korean, u"9"},
        {4, Language::Korean, u"129"},
        {1, Language::English, u"en"},
        {2001, Language::Korean, u"취  소"},
        {2001, Language::English, u"Cancel"},
        {2144, Language::Korean, u"Page too Complex"},
        {2144, Language::English, u"Page too Complex"},
        {2071, Language::Korean, u"좌송합니다. 현재 사용하시려는 프린터는 공유 프린터이며"},
        {2098, Language::English,
         u" However, because of the document to be the printing, after the printing is "
         u"completed You can issue your certificate."},
        {2064, Language::Korean, u"프린터 이름: "},
        {2090, Language::Korean, u"준비됨"},
        {2090, Language::Japanese, u"Ready"},           // only 1 to 4 have Japanese texts
        {101, Language::Korean, u"Table Of Contents"},  // English where Korean is not kept
        {11314, Language::Korean, u"종류:"},
        {10264, Language::Korean, u"양방향 지원:"},
        {10265, Language::Korean, u"고급 인쇄 기능 사용:"},
        {10263, Language::English, u"Printer Setup"},
    };
    for (const auto& c : cases) EXPECT_EQ(loadString(c.id, c.language), c.text) << c.id;
}

TEST(StringTable, AuthoredTextsCarryThePlaceholder) {
    for (Language l : {Language::English, Language::Korean}) {
        EXPECT_NE(loadString(10286, l).find(u"$1"), std::u16string::npos);
        for (int id : {4020, 10263, 10264, 10265, 10266, 10283, 10284, 10285, 10287, 11314})
            EXPECT_FALSE(loadString(id, l).empty()) << id;
    }
}

TEST(StringTable, UnknownIdentifierRaisesMissingResource) {
    for (int id : {0, 5, 2143 + 10000, 99999, -1}) {
        EXPECT_FALSE(findString(id, Language::English)) << id;
        try {
            loadString(id, Language::Korean);
            ADD_FAILURE() << id;
        } catch (const MissingResource& e) {
            EXPECT_EQ(e.id(), id);
        }
    }
}

// The locale variables the language is read from: changed by a test, put back as they were
// (set or not) when the guard goes, so the cases that run after it in the same process see the
// environment the program was given.
class LocaleVariables {
  public:
    static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    LocaleVariables() : saved_(now()) {}
    ~LocaleVariables() {
        for (std::size_t i = 0; i < std::size(kNames); ++i) set(kNames[i], saved_[i]);
    }
    LocaleVariables(const LocaleVariables&) = delete;
    LocaleVariables& operator=(const LocaleVariables&) = delete;

    using Values = std::vector<std::optional<std::string>>;
    static Values now() {
        Values values;
        for (const char* name : kNames) {
            const char* v = std::getenv(name);
            values.push_back(v ? std::optional<std::string>(v) : std::nullopt);
        }
        return values;
    }
    static void set(const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }

  private:
    Values saved_;
};

TEST(StringTable, LanguageComesFromTheUserEnvironment) {
    struct Env {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        Language expected;
    } cases[] = {
        {"ko_KR.UTF-8", nullptr, "en_US.UTF-8", Language::Korean},
        {nullptr, "ko_KR.UTF-8", "en_US.UTF-8", Language::Korean},
        {nullptr, nullptr, "ko_KR.EUC-KR", Language::Korean},
        {"C", nullptr, "ko_KR.UTF-8", Language::English},  // the first one set decides
        {nullptr, nullptr, "ja_JP.UTF-8", Language::Japanese},
        {nullptr, nullptr, "de_DE.UTF-8", Language::English},
        {nullptr, nullptr, nullptr, Language::English},
    };
    auto optional = [](const char* v) { return v ? std::optional<std::string>(v) : std::nullopt; };
    const LocaleVariables::Values given = LocaleVariables::now();
    {
        LocaleVariables restored;
        for (const auto& c : cases) {
            LocaleVariables::set("LC_ALL", optional(c.lcAll));
            LocaleVariables::set("LC_MESSAGES", optional(c.lcMessages));
            LocaleVariables::set("LANG", optional(c.lang));
            EXPECT_EQ(currentLanguage(), c.expected);
        }
        LocaleVariables::set("LANG", "ko_KR.UTF-8");
        EXPECT_EQ(loadString(2148), u"일시 중지됨");
        setLanguage(Language::English);
        EXPECT_EQ(loadString(2148), u"Paused");
        setLanguage(std::nullopt);
    }
    EXPECT_EQ(LocaleVariables::now(), given);
}

// Every case starts with LANG=ja_JP.UTF-8 and neither LC_ALL nor LC_MESSAGES (the program sets
// them once before its first case): a case that ran before this one in the same process and
// left the variables changed shows here.
TEST(StringTable, TheProgramsLocaleVariablesDecideTheLanguage) {
    EXPECT_EQ(LocaleVariables::now(),
              (LocaleVariables::Values{std::nullopt, std::nullopt, "ja_JP.UTF-8"}));
    EXPECT_EQ(currentLanguage(), Language::Japanese);
}

// Japanese is neither the default language nor one a case leaves behind by mistake.
class GivenLocale : public ::testing::Environment {
  public:
    void SetUp() override {
        LocaleVariables::set("LC_ALL", std::nullopt);
        LocaleVariables::set("LC_MESSAGES", std::nullopt);
        LocaleVariables::set("LANG", "ja_JP.UTF-8");
    }
};
[[maybe_unused]] ::testing::Environment* const kGivenLocale =
    ::testing::AddGlobalTestEnvironment(new GivenLocale);

}  // namespace
