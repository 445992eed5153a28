// CharsetConverter through the COM layer: Korean bytes in code page 949 (including a syllable
// outside EUC-KR) and UTF-8 back to text; unknown charsets are refused.
#include <gtest/gtest.h>

#include "platform/com/runtime.h"
#include "platform/outside/charsetconverter.h"
#include "platform/outside/outside.h"

using namespace platform::com;
namespace outside = platform::outside;

namespace {

std::shared_ptr<Dispatch> converter() {
    outside::ensureRegistered();
    std::shared_ptr<Dispatch> d;
    EXPECT_EQ(CoCreateInstance(outside::CLSID_CharsetConverter, d), S_OK);
    return d;
}

std::u16string convert(std::u16string_view charset, std::vector<std::uint8_t> bytes) {
    auto d = converter();
    invoke(*d, outside::charsetconverter::SetCharset, DISPATCH_METHOD, {Variant(charset)});
    return invoke(*d, outside::charsetconverter::ConvertToText, DISPATCH_METHOD,
                  {Variant(std::move(bytes))})
        .toText();
}

}  // namespace

TEST(CharsetConverter, DecodesNamedCharsets) {
    // "똠방각하 홍길동": the first syllable exists only in code page 949, not in EUC-KR.
    const std::vector<std::uint8_t> cp949 = {0x8c, 0x63, 0xb9, 0xe6, 0xb0, 0xa2, 0xc7, 0xcf,
                                             0x20, 0xc8, 0xab, 0xb1, 0xe6, 0xb5, 0xbf};
    EXPECT_EQ(convert(u"euc-kr", cp949), u"똠방각하 홍길동");
    EXPECT_EQ(convert(u"Euc-kr", cp949), u"똠방각하 홍길동");
    EXPECT_EQ(convert(u"utf-8", {0xed, 0x95, 0x9c, 0x41}), u"한A");
    EXPECT_EQ(convert(u"UTF-8", {0xff, 0x41}), u"\uFFFDA");
}

TEST(CharsetConverter, RefusesUnknownCharsets) {
    auto d = converter();
    try {
        invoke(*d, outside::charsetconverter::SetCharset, DISPATCH_METHOD, {Variant(u"klingon")});
        FAIL() << "an unknown charset was accepted";
    } catch (const ComError& e) {
        EXPECT_EQ(e.hr(), E_INVALIDARG);
    }
}
