// Member tables in process: a parameter that takes the rest of the arguments, and the
// property bag a host keeps for a control.
#include <gtest/gtest.h>

#include "platform/com/control.h"
#include "platform/com/dispatch.h"

using namespace platform::com;

namespace {

class Collector : public DispatchImpl<Collector> {
  public:
    static const Members<Collector>& members() {
        static const Members<Collector> m =
            Members<Collector>(u"ICollector", Guid::of("{5A0C6E11-2B7D-4C59-8E34-0F1D2C3B4A59}"))
                .method(1, u"Join", VT_BSTR,
                        {{u"first", VT_BSTR}, {u"rest", VT_VARIANT, Presence::Rest}},
                        [](Collector&, Call& c) {
                            std::u16string out = c.text(0);
                            for (const auto& item : c.arg(1).array().items)
                                out += u"," + item.toText();
                            c.result = out;
                        });
        return m;
    }
};

}  // namespace

TEST(Members, ARestParameterTakesEveryFurtherArgument) {
    auto object = std::make_shared<Collector>();
    EXPECT_EQ(call(*object, u"Join", {Variant(u"a")}).text(), u"a");
    EXPECT_EQ(
        call(*object, u"Join", {Variant(u"a"), Variant(std::int32_t{2}), Variant(true)}).text(),
        u"a,2,True");
    std::vector<Variant> many(12, Variant(u"x"));
    EXPECT_EQ(call(*object, u"Join", many).text(), u"x,x,x,x,x,x,x,x,x,x,x,x");
    try {
        call(*object, u"Join");
        FAIL() << "the required first argument was not asked for";
    } catch (const ComError& e) {
        EXPECT_EQ(e.hr(), DISP_E_BADPARAMCOUNT);
    }
}

TEST(Members, MemoryPropertyBagKeepsValuesInTheOrderOfFirstWrites) {
    MemoryPropertyBag bag;
    EXPECT_EQ(bag.Write(u"B", Variant(std::int32_t{1})), S_OK);
    EXPECT_EQ(bag.Write(u"A", Variant(u"x")), S_OK);
    EXPECT_EQ(bag.Write(u"B", Variant(std::int32_t{2})), S_OK);
    ASSERT_EQ(bag.values().size(), 2u);
    EXPECT_EQ(bag.values()[0].first, u"B");
    Variant v;
    EXPECT_EQ(bag.Read(u"B", v), S_OK);
    EXPECT_EQ(v.toI4(), 2);
    EXPECT_EQ(bag.Read(u"b", v), E_INVALIDARG);
}
