#include "strings/strings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

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
    auto set = [](const char* name, const char* v) {
        if (v)
            ::setenv(name, v, 1);
        else
            ::unsetenv(name);
    };
    for (const auto& c : cases) {
        set("LC_ALL", c.lcAll);
        set("LC_MESSAGES", c.lcMessages);
        set("LANG", c.lang);
        EXPECT_EQ(currentLanguage(), c.expected);
    }
    ::setenv("LANG", "ko_KR.UTF-8", 1);
    EXPECT_EQ(loadString(2148), u"일시 중지됨");
    setLanguage(Language::English);
    EXPECT_EQ(loadString(2148), u"Paused");
    setLanguage(std::nullopt);
    ::unsetenv("LANG");
}

}  // namespace
