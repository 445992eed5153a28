// HashCodec through the COM layer: digests in hex and Base64, encryption to and from
// "base64", "URL" and "hex" text, refusal of changed texts and unknown names.
#include <gtest/gtest.h>

#include "platform/com/runtime.h"
#include "platform/outside/hashcodec.h"
#include "platform/outside/outside.h"
#include "platform/text/text.h"

using namespace platform::com;
namespace text = platform::text;

namespace {

std::shared_ptr<Dispatch> codec() {
    platform::outside::ensureRegistered();
    std::shared_ptr<Dispatch> d;
    EXPECT_EQ(CoCreateInstance(platform::outside::CLSID_HashCodec, d), S_OK);
    return d;
}

Variant call(DispId id, std::vector<Variant> args, std::shared_ptr<Dispatch> d = codec()) {
    return invoke(*d, id, DISPATCH_METHOD, std::move(args));
}

}  // namespace

TEST(HashCodec, DigestsOfTheAnsiBytes) {
    auto d = codec();
    call(1, {Variant(u"md5")}, d);
    call(2, {Variant(u"hex")}, d);
    EXPECT_EQ(call(3, {Variant(u"abc")}, d).toText(), u"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(call(3, {Variant(u"")}, d).toText(), u"d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(call(3, {Variant(u"message digest")}, d).toText(),
              u"f96b697d7cb7938d525a2f31aaf161d0");
    // Korean text is hashed over its CP949 bytes ("가" is B0 A1).
    EXPECT_EQ(call(3, {Variant(u"가")}, d).toText().size(), 32u);
    call(1, {Variant(u"SHA1")}, d);
    EXPECT_EQ(call(3, {Variant(u"abc")}, d).toText(), u"a9993e364706816aba3e25717850c26c9cd0d89d");
    call(2, {Variant(u"base64")}, d);
    EXPECT_EQ(call(3, {Variant(u"abc")}, d).toText(), u"qZk+NkcGgWq6PiVxeFDCbJzQ2J0=");
    // The default is md5 in hex.
    EXPECT_EQ(call(3, {Variant(u"abc")}).toText(), u"900150983cd24fb0d6963f7d28e17f72");
}

TEST(HashCodec, EncryptionRoundTripsInEveryEncoding) {
    const std::u16string header =
        u"ARIA;256;HEX;MD5;euc-kr;900150983cd24fb0d6963f7d28e17f72;한글 똠";
    for (std::u16string enc : {u"base64", u"URL", u"hex", u"BASE64"}) {
        std::u16string sealed = call(4, {Variant(header), Variant(enc)}).toText();
        EXPECT_GT(sealed.size(), 32u);
        EXPECT_EQ(sealed.find(u'|'), std::u16string::npos);
        std::vector<std::uint8_t> back = call(5, {Variant(sealed), Variant(enc)}).toBytes();
        EXPECT_EQ(back, text::toAnsi(header)) << text::toUtf8(enc);
    }
    // Even an empty text gives more than 32 characters; two encryptions differ.
    std::u16string a = call(4, {Variant(u""), Variant(u"base64")}).toText();
    EXPECT_GT(a.size(), 32u);
    EXPECT_NE(a, call(4, {Variant(u""), Variant(u"base64")}).toText());
    // URL text carries no "+", "/" or "=".
    for (int i = 0; i < 20; ++i) {
        std::u16string url = call(4, {Variant(u"xyz"), Variant(u"url")}).toText();
        EXPECT_EQ(url.find_first_of(u"+/="), std::u16string::npos);
    }
    // Byte arrays are taken as they are.
    std::vector<std::uint8_t> raw{0, 1, 2, 255};
    std::u16string s = call(4, {Variant(raw), Variant(u"base64")}).toText();
    EXPECT_EQ(call(5, {Variant(s), Variant(u"base64")}).toBytes(), raw);
}

TEST(HashCodec, ChangedOrForeignTextsAndUnknownNamesRaise) {
    std::u16string sealed = call(4, {Variant(u"header text"), Variant(u"base64")}).toText();
    std::u16string changed = sealed;
    changed[20] = changed[20] == u'A' ? u'B' : u'A';
    EXPECT_THROW(call(5, {Variant(changed), Variant(u"base64")}), ComError);
    EXPECT_THROW(
        call(5, {Variant(u"aGVsbG8gd29ybGQgaGVsbG8gd29ybGQgaGVsbG8="), Variant(u"base64")}),
        ComError);
    EXPECT_THROW(call(5, {Variant(u"not base64!"), Variant(u"base64")}), ComError);
    EXPECT_THROW(call(4, {Variant(u"x"), Variant(u"rot13")}), ComError);
    EXPECT_THROW(call(1, {Variant(u"md4")}), ComError);
    EXPECT_THROW(call(2, {Variant(u"url")}), ComError);
    try {
        call(5, {Variant(changed), Variant(u"base64")});
    } catch (const ComError& e) {
        EXPECT_EQ(e.hr(), E_INVALIDARG);
        EXPECT_FALSE(e.description().empty());
    }
}
