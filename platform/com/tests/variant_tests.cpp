#include <gtest/gtest.h>

#include <thread>

#include "platform/com/apartment.h"
#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/text/text.h"

using namespace platform::com;

TEST(Guid, ParsesAndFormatsRegistryForm) {
    auto g = Guid::parse(std::u16string_view(u"{62dbceaa-02b6-4bfa-ac1d-e19d9ab4b779}"));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->str(), u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779}");
    EXPECT_EQ(*g, Guid::of("62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779"));
    EXPECT_EQ(g->data1, 0x62DBCEAAu);
    EXPECT_EQ(g->data4[7], 0x79);
    for (const char16_t* bad :
         {u"", u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B77}", u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B7G9}",
          u"{62DBCEAA+02B6-4BFA-AC1D-E19D9AB4B779}", u"(62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779)"})
        EXPECT_FALSE(Guid::parse(std::u16string_view(bad))) << std::string(bad, bad + 2);
}

TEST(Variant, ReportsItsType) {
    EXPECT_EQ(Variant().type(), VT_EMPTY);
    EXPECT_EQ(Variant(Null{}).type(), VT_NULL);
    EXPECT_EQ(Variant(true).type(), VT_BOOL);
    EXPECT_EQ(Variant(std::int16_t(1)).type(), VT_I2);
    EXPECT_EQ(Variant(1).type(), VT_I4);
    EXPECT_EQ(Variant(1.5).type(), VT_R8);
    EXPECT_EQ(Variant(u"x").type(), VT_BSTR);
    EXPECT_EQ(Variant(std::vector<std::uint8_t>{1}).type(), VT_ARRAY | VT_UI1);
    EXPECT_EQ(textArray({u"a"}).type(), VT_ARRAY | VT_BSTR);
    EXPECT_TRUE(Variant::missing().isMissing());
}

struct Coercion {
    Variant from;
    VarType to;
    Variant expected;  // empty with `error` set when the coercion fails
    HRESULT error = S_OK;
};

TEST(Variant, CoercesTheWayTheAutomationRuntimeDoes) {
    const Coercion cases[] = {
        // Integer targets round half to even.
        {Variant(2.5), VT_I4, Variant(2)},
        {Variant(3.5), VT_I4, Variant(4)},
        {Variant(-2.5), VT_I4, Variant(-2)},
        {Variant(u" 42 "), VT_I4, Variant(42)},
        {Variant(u"1.5"), VT_I2, Variant(std::int16_t(2))},
        {Variant(true), VT_I4, Variant(-1)},
        {Variant(), VT_I4, Variant(0)},
        {Variant(), VT_BSTR, Variant(u"")},
        {Variant(32767.5), VT_I2, {}, DISP_E_OVERFLOW},
        {Variant(2147483647.5), VT_I4, {}, DISP_E_OVERFLOW},
        {Variant(-1), VT_UI1, {}, DISP_E_OVERFLOW},
        {Variant(u"abc"), VT_I4, {}, DISP_E_TYPEMISMATCH},
        {Variant(u""), VT_R8, {}, DISP_E_TYPEMISMATCH},
        {Variant(Null{}), VT_BSTR, {}, DISP_E_TYPEMISMATCH},
        {Variant(Null{}), VT_I4, {}, DISP_E_TYPEMISMATCH},
        // Texts.
        {Variant(12), VT_BSTR, Variant(u"12")},
        {Variant(0.5), VT_BSTR, Variant(u"0.5")},
        {Variant(true), VT_BSTR, Variant(u"True")},
        {Variant(u"한글"), VT_BSTR, Variant(u"한글")},
        // Booleans.
        {Variant(u"true"), VT_BOOL, Variant(true)},
        {Variant(u"False"), VT_BOOL, Variant(false)},
        {Variant(u"0"), VT_BOOL, Variant(false)},
        {Variant(7), VT_BOOL, Variant(true)},
        {Variant(u"maybe"), VT_BOOL, {}, DISP_E_TYPEMISMATCH},
        // Bytes and texts share their UTF-16LE form.
        {Variant(u"AB"), VarType(VT_ARRAY | VT_UI1),
         Variant(std::vector<std::uint8_t>{0x41, 0, 0x42, 0})},
        {Variant(std::vector<std::uint8_t>{0x41, 0, 0x42, 0}), VT_BSTR, Variant(u"AB")},
        // Dates.
        {Variant(u"1900-01-01"), VT_DATE, Variant(Date{2})},
        {Variant(Date{45000.5}), VT_BSTR, Variant(u"2023-03-15 12:00:00")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::text::toUtf8(c.from.isText() ? c.from.text() : u"") + " -> " +
                     std::to_string(c.to));
        if (c.error != S_OK) {
            try {
                c.from.changeType(c.to);
                ADD_FAILURE() << "no error";
            } catch (const ComError& e) {
                EXPECT_EQ(e.hr(), c.error);
            }
        } else {
            Variant got = c.from.changeType(c.to, AlphaBool);
            EXPECT_TRUE(got.sameAs(c.expected))
                << "got type " << got.type() << " text " << platform::text::toUtf8(got.toText());
        }
    }
}

TEST(Variant, BooleansAreMinusOneWithoutAlphaFlag) {
    EXPECT_EQ(Variant(true).changeType(VT_BSTR).text(), u"-1");
    EXPECT_EQ(Variant(false).changeType(VT_BSTR).text(), u"0");
}

TEST(Variant, ArraysCoerceElementWise) {
    VariantArray a;
    a.items = {Variant(1), Variant(u"2")};
    Variant v = Variant(a).changeType(VarType(VT_ARRAY | VT_BSTR));
    EXPECT_EQ(v.type(), VT_ARRAY | VT_BSTR);
    EXPECT_EQ(v.array().items[0].text(), u"1");
    EXPECT_THROW(Variant(VariantArray{}).changeType(VT_I4), ComError);
}

namespace {
struct Counter {
    int value = 7;
};
}  // namespace

TEST(ApartmentState, IsKeptPerThreadAndResets) {
    ApartmentState<Counter>::get().value = 1;
    int other = 0;
    std::thread([&] { other = ApartmentState<Counter>::get().value; }).join();
    EXPECT_EQ(other, 7);
    EXPECT_EQ(ApartmentState<Counter>::get().value, 1);
    ApartmentState<Counter>::reset();
    EXPECT_EQ(ApartmentState<Counter>::get().value, 7);
}
