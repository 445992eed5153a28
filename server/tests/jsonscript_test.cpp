// The JSON command script: its documented cases as one table, the boxes it shows, variables
// that outlive one evaluation, and values of the wrong kind, which end the evaluation with an
// error result and leave the object usable.
#include <gtest/gtest.h>

#include "platform/text/text.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/messagebox.h"
#include "server/jsonscript.h"

using namespace tessel;
using namespace tessel::server;
namespace ui = platform::ui;
namespace text = platform::text;

namespace {

class Script : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::setMessageBoxes(boxes);
        ui::setDialogs(dialogs);
    }
    void TearDown() override {
        ui::setMessageBoxes(nullptr);
        ui::setDialogs(nullptr);
    }
    std::shared_ptr<ui::HeadlessMessageBoxes> boxes =
        std::make_shared<ui::HeadlessMessageBoxes>(false);
    std::shared_ptr<ui::HeadlessDialogs> dialogs = std::make_shared<ui::HeadlessDialogs>(false);
};

// A script whose text item lies inside `arrays` nested arrays: evaluating it runs a chain of
// arrays + 1 executions.
std::u16string nested(int arrays) {
    std::u16string s = u"[";
    for (int i = 0; i < arrays; ++i) s += u"[";
    s += u"\"deep\"";
    for (int i = 0; i < arrays; ++i) s += u"]";
    return s + u"]";
}

}  // namespace

TEST_F(Script, DocumentedCases) {
    struct Case {
        std::u16string script;
        std::u16string output;
        bool ok = true;
        std::size_t boxes = 0;
    } cases[] = {
        {u"[\"a\", {\"return\":\"b\"}, \"c\"]", u"abc"},
        {u"[{\"set\":{\"name\":\"x\",\"value\":\"1\"}}, {\"get\":{\"name\":\"x\",\"default\":"
         u"\"none\"}}]",
         u"1"},
        {u"[{\"get\":{\"name\":\"x\",\"default\":\"none\"}}]", u"none"},
        {u"[{\"if\":{\"value1\":\"B\",\"value2\":\"a\",\"type\":\"gt\",\"true\":\"yes\","
         u"\"false\":\"no\"}}]",
         u"no"},
        {u"[{\"if\":{\"value1\":\"A\",\"value2\":\"a\",\"type\":\"eq\",\"true\":\"yes\","
         u"\"false\":\"no\"}}]",
         u"yes"},
        {u"[{\"switch\":{\"case\":\"Two\",\"default\":\"?\",\"items\":[{\"case\":\"one\","
         u"\"return\":\"1\"},{\"case\":\"two\",\"return\":\"2\"}]}}]",
         u"2"},
        {u"[{\"total\":{\"a\":1,\"b\":\"x\"}}]", u"<%TOTAL(1,x)%>"},
        {u"[{\"note\":\"hi\"}]", u"<%NOTE(hi)%>"},
        {nested(40), u"deep"},
        {nested(41), std::u16string(kNestingExceeded)},
        {u"[1", u"", false, 1},
    };
    for (const Case& c : cases) {
        boxes->clear();
        cJSONScript script;  // a new object for each case
        ScriptResult r = script.Eval(c.script);
        EXPECT_EQ(text::toUtf8(r.text), text::toUtf8(c.output)) << text::toUtf8(c.script);
        EXPECT_EQ(r.ok, c.ok) << text::toUtf8(c.script);
        EXPECT_EQ(boxes->shown().size(), c.boxes) << text::toUtf8(c.script);
        EXPECT_EQ(script.nestingLevel(), 0);
    }
    // The parser's box: its errors as the text, the warning icon.
    ASSERT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(boxes->shown()[0].caption, kParserErrorTitle);
    EXPECT_EQ(boxes->shown()[0].style, unsigned(ui::vbExclamation));
    EXPECT_FALSE(boxes->shown()[0].text.empty());
}

TEST_F(Script, ComparisonsAndCommandKeysWithoutLetterCase) {
    auto compare = [&](const char16_t* v1, const char16_t* v2, const char16_t* type) {
        cJSONScript script;
        return script
            .Eval(u"[{\"IF\":{\"value1\":\"" + std::u16string(v1) + u"\",\"value2\":\"" +
                  std::u16string(v2) + u"\",\"type\":\"" + std::u16string(type) +
                  u"\",\"true\":\"T\",\"false\":\"F\"}}]")
            .text;
    };
    EXPECT_EQ(compare(u"a", u"B", u"GT"), u"T");  // by character code: a after B
    EXPECT_EQ(compare(u"a", u"a", u"gte"), u"T");
    EXPECT_EQ(compare(u"a", u"a", u"lt"), u"F");
    EXPECT_EQ(compare(u"a", u"b", u"lte"), u"T");
    EXPECT_EQ(compare(u"가", u"가", u"eq"), u"T");
    EXPECT_EQ(compare(u"a", u"a", u"ne"), u"F");  // unknown types are false
}

TEST_F(Script, BoxesVariablesAndValuesOfEveryKind) {
    dialogs->scriptInput({u"홍길동"});
    cJSONScript script;
    ScriptResult r = script.Eval(
        u"[{\"alert\":{\"message\":[\"hello \",{\"get\":{\"name\":\"who\",\"default\":"
        u"\"world\"}}],\"title\":\"T\"}},"
        u"{\"set\":{\"name\":\"who\",\"value\":{\"input\":{\"prompt\":\"이름?\",\"title\":\"Q\","
        u"\"default\":\"none\"}}}},"
        u"null, [true, false, null, 1.5, -20]]");
    ASSERT_TRUE(r.ok) << text::toUtf8(r.error);
    EXPECT_EQ(r.text, u"nulltruefalsenull1.5-20");
    ASSERT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(boxes->shown()[0].text, u"hello world");
    EXPECT_EQ(boxes->shown()[0].caption, u"T");
    EXPECT_EQ(boxes->shown()[0].style, unsigned(ui::vbInformation));
    ASSERT_EQ(dialogs->inputs().size(), 1u);
    EXPECT_EQ(dialogs->inputs()[0].prompt, u"이름?");
    EXPECT_EQ(dialogs->inputs()[0].defaultText, u"none");

    // Variables outlive the evaluation; an alert with members missing shows empty texts.
    r = script.Eval(u"[{\"get\":{\"name\":\"who\"}}, {\"alert\":{}}]");
    EXPECT_EQ(r.text, u"홍길동");
    EXPECT_EQ(boxes->shown().back().text, u"");
    // A variable read before it is set exists with no value.
    script.Eval(u"[{\"get\":{\"name\":\"later\",\"default\":\"d\"}}]");
    EXPECT_EQ(script.variable(u"later"), std::u16string());
}

TEST_F(Script, ValuesOfTheWrongKindGiveAnErrorResult) {
    const char16_t* scripts[] = {
        u"{\"return\":\"x\"}",                              // the root is not an array
        u"[\"a\", 5]",                                      // a number item
        u"[true]",                                          // a Boolean item
        u"[{\"alert\":\"text where an object belongs\"}]",  // an argument that is a text
        u"[{\"set\":[1,2]}]",                               // an argument that is an array
        u"[{\"note\":5}]",                                  // a command value that is a number
        u"[{\"note\":null}]",                               // ... or null
        u"[{\"total\":{\"a\":{\"b\":1}}}]",                 // a marker value with no text form
        u"[{\"return\":{\"a\":\"b\"}}]",                    // return needs a text
        u"[{\"switch\":{\"case\":\"a\",\"items\":\"a\"}}]",
        u"[{\"switch\":{\"case\":\"a\",\"items\":[\"a\"]}}]",
        u"[[[[{\"set\":{\"name\":{\"n\":1},\"value\":\"v\"}}]]]]",
    };
    cJSONScript script;
    for (const char16_t* s : scripts) {
        ScriptResult r = script.Eval(s);
        EXPECT_FALSE(r.ok) << text::toUtf8(s);
        EXPECT_TRUE(r.text.empty()) << text::toUtf8(s);
        EXPECT_FALSE(r.error.empty()) << text::toUtf8(s);
        EXPECT_EQ(script.nestingLevel(), 0) << text::toUtf8(s);
    }
    EXPECT_TRUE(boxes->shown().empty());
    // The object still works, with its full nesting depth.
    EXPECT_EQ(script.Eval(nested(40)).text, u"deep");
}
