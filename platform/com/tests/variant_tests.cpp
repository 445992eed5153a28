#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <thread>

#include "platform/com/apartment.h"
#include "platform/com/collection.h"
#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/text/text.h"

using namespace platform::com;

TEST(Guid, ParsesAndFormatsRegistryForm) {
    constexpr Guid expected = Guid::of("{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779}");
    static_assert(expected.data1 == 0x62DBCEAAu && expected.data2 == 0x02B6 &&
                  expected.data3 == 0x4BFA && expected.data4[0] == 0xAC &&
                  expected.data4[7] == 0x79);
    static_assert(Guid::of("62dbceaa-02b6-4bfa-ac1d-e19d9ab4b779") == expected);
    const struct {
        const char16_t* text;
        bool valid;
    } cases[] = {
        {u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779}", true},
        {u"{62dbceaa-02b6-4bfa-ac1d-e19d9ab4b779}", true},
        {u"{62dbCEAA-02b6-4BFA-ac1D-E19d9aB4b779}", true},
        {u"62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779", true},
        {u"", false},
        {u"{}", false},
        {u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B77}", false},    // a digit short
        {u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B7799}", false},  // a digit over
        {u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B7G9}", false},   // not hexadecimal
        {u"{62DBCEAA+02B6-4BFA-AC1D-E19D9AB4B779}", false},   // not a dash
        {u"{62DBCEA-A02B6-4BFA-AC1D-E19D9AB4B779}", false},   // a dash out of place
        {u"{62DBCEAA-02B6-4BFA-AC1DE-19D9AB4B779}", false},
        {u"(62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779)", false},  // not braces
        {u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779", false},   // one brace
        {u"62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779}", false},
        {u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779}x", false},
        {u" 62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779 ", false},       // blanks
        {u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B77\uFF19}", false},  // a full-width digit
    };
    for (const auto& c : cases) {
        const std::u16string_view text(c.text);
        SCOPED_TRACE(platform::text::toUtf8(std::u16string(text)));
        const auto wide = Guid::parse(text);
        EXPECT_EQ(wide.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(*wide, expected);
            EXPECT_EQ(wide->str(), u"{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779}");
        }
        // The UTF-8 form reads the same.
        const std::string narrow = platform::text::toUtf8(std::u16string(text));
        EXPECT_EQ(Guid::parse(std::string_view(narrow)), wide);
    }
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

// An object reference that is Nothing stays Nothing when an object is asked for.
TEST(Variant, NothingAndEmptyCoerceToNothing) {
    for (const Variant& v :
         {Variant(), Variant(std::shared_ptr<Dispatch>()), Variant(std::shared_ptr<Unknown>())}) {
        Variant object = v.changeType(VT_DISPATCH);
        EXPECT_TRUE(object.isObject());
        EXPECT_FALSE(object.object());
    }
    EXPECT_THROW(Variant(u"x").changeType(VT_DISPATCH), ComError);
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

namespace {

struct Guarded {
    const char* name;
    std::function<HRESULT()> body;
    HRESULT status;
    std::u16string description;
    std::u16string source;
};

}  // namespace

TEST(Guard, TurnsEveryExceptionIntoAStatusWithItsDescription) {
    const Guarded cases[] = {
        {"status returned", [] { return S_FALSE; }, S_FALSE, {}, {}},
        {"ComError",
         []() -> HRESULT { platform::com::raise(E_INVALIDARG, u"bad value", u"Thrower"); },
         E_INVALIDARG, u"bad value", u"Thrower"},
        {"ComError without texts", []() -> HRESULT { platform::com::raise(DISP_E_OVERFLOW); },
         DISP_E_OVERFLOW, u"Out of present range.", u"Here"},
        {"text function error",
         []() -> HRESULT { throw platform::text::Error(5, u"Invalid procedure call"); },
         hr(0x800A0005), u"Invalid procedure call", u"Here"},
        {"bad_alloc", []() -> HRESULT { throw std::bad_alloc(); }, E_OUTOFMEMORY, u"Out of memory",
         u"Here"},
        {"runtime_error", []() -> HRESULT { throw std::runtime_error("\xED\x95\x9C broke"); },
         E_FAIL, u"한 broke", u"Here"},
        {"not an exception class", []() -> HRESULT { throw 42; }, E_FAIL,
         u"An exception of an unknown kind", u"Here"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        takeErrorInfo();
        EXPECT_EQ(guard(u"Here", c.body), c.status);
        auto info = takeErrorInfo();
        EXPECT_EQ(info.has_value(), FAILED(c.status));
        if (info) {
            EXPECT_EQ(info->scode, c.status);
            EXPECT_EQ(info->description, c.description);
            EXPECT_EQ(info->source, c.source);
        }
        EXPECT_FALSE(takeErrorInfo()) << "taking the error information clears it";

        ExcepInfo excep;
        const HRESULT invoked = guardInvoke(u"Here", &excep, c.body);
        if (FAILED(c.status)) {
            EXPECT_EQ(invoked, DISP_E_EXCEPTION);
            EXPECT_EQ(excep.scode, c.status);
            EXPECT_EQ(excep.description, c.description);
        } else {
            EXPECT_EQ(invoked, c.status);
        }
        EXPECT_EQ(guardInvoke(u"Here", nullptr, c.body),
                  FAILED(c.status) ? DISP_E_EXCEPTION : c.status);
    }
    EXPECT_EQ(guard(u"", [] {}), S_OK) << "a body without a status succeeds";
}

// The keyed collection: positions from 1, keys without regard to case, items without a key
// reached by position only, and enumerators that keep what they were given.
TEST(Collection, KeysPositionsAndEnumerators) {
    Collection list;
    list.add(Variant(u"first"), u"One");
    list.add(Variant(u"second"));
    list.add(Variant(u"third"), u"three");
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.item(Variant(u"ONE")).text(), u"first");
    EXPECT_EQ(list.item(Variant(2)).text(), u"second");
    EXPECT_EQ(list.item(Variant(u"THREE")).text(), u"third");
    const auto numberOf = [](auto&& body) {
        try {
            body();
            return 0;
        } catch (const platform::text::Error& e) {
            return e.number();
        }
    };
    EXPECT_EQ(numberOf([&] { list.add(Variant(u"x"), u"one"); }), 457);
    EXPECT_EQ(numberOf([&] { list.item(Variant(u"second")); }), 5);
    EXPECT_EQ(numberOf([&] { list.item(Variant(u"")); }), 5);
    EXPECT_EQ(numberOf([&] { list.item(Variant(std::shared_ptr<Dispatch>())); }), 13);

    auto walker = list.enumerate();
    list.remove(Variant(1));
    EXPECT_EQ(list.item(Variant(1)).text(), u"second");
    std::vector<Variant> items;
    EXPECT_EQ(walker->Next(10, items), S_FALSE);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].text(), u"first");
    // The key of a removed item is free again.
    list.add(Variant(u"again"), u"one");
    EXPECT_EQ(list.item(Variant(3)).text(), u"again");
}
