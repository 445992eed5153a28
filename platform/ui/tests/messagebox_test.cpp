#include <gtest/gtest.h>

#include "platform/ui/messagebox.h"

using namespace platform::ui;

TEST(MessageBoxes, DefaultAnswerIsTheDefaultButtonOfTheStyle) {
    struct Case {
        unsigned style;
        int answer;
    } cases[] = {
        {vbOKOnly, vbOK},
        {vbOKCancel | vbQuestion, vbOK},
        {vbYesNo, vbYes},
        {vbYesNo | vbDefaultButton2, vbNo},
        {vbYesNoCancel | vbDefaultButton3, vbCancel},
        {vbRetryCancel | vbCritical, vbRetry},
        {vbAbortRetryIgnore | vbDefaultButton2, vbRetry},
    };
    for (const auto& c : cases) EXPECT_EQ(defaultAnswer(c.style), c.answer) << c.style;
}

TEST(MessageBoxes, HeadlessServiceRecordsAndAnswersFromItsScript) {
    auto boxes = std::make_shared<HeadlessMessageBoxes>(false);
    setMessageBoxes(boxes);
    boxes->script({vbNo});
    EXPECT_EQ(messageBox(u"계속할까요?", u"Tessel", vbYesNo), vbNo);
    EXPECT_EQ(messageBox(u"second", u"", vbYesNo), vbYes);
    auto shown = boxes->shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, u"계속할까요?");
    EXPECT_EQ(shown[0].caption, u"Tessel");
    EXPECT_EQ(shown[0].answer, vbNo);
    setMessageBoxes(nullptr);
    EXPECT_NE(messageBoxes(), boxes);
}
