#include <gtest/gtest.h>

#include "platform/ui/dialogs.h"

#include "platform/text/text.h"

using namespace platform::ui;

TEST(Dialogs, HeadlessServiceAnswersFromItsScriptThenAsNobodyThere) {
    auto service = std::make_shared<HeadlessDialogs>(false);
    setDialogs(service);
    service->scriptInput({u"typed"});
    EXPECT_EQ(inputBox(u"이름?", u"T", u"기본"), u"typed");
    // Nobody there: the box is confirmed with its default text.
    EXPECT_EQ(inputBox(u"again?", u"T", u"기본"), u"기본");
    ASSERT_EQ(service->inputs().size(), 2u);
    EXPECT_EQ(service->inputs()[0].prompt, u"이름?");
    EXPECT_EQ(service->inputs()[0].answer, u"typed");

    // Nobody there: file and folder dialogs are cancelled.
    service->scriptFiles({FileDialogAnswer{{u"/d/a.txt"}}});
    FileDialogRequest request;
    request.title = u"open";
    auto first = dialogs()->fileDialog(request);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->paths, std::vector<std::u16string>{u"/d/a.txt"});
    EXPECT_FALSE(dialogs()->fileDialog(request));
    EXPECT_FALSE(dialogs()->folderDialog({0, u"folder"}));
    EXPECT_EQ(service->fileRequests().size(), 2u);
    EXPECT_EQ(service->folderRequests().at(0).title, u"folder");

    setDialogs(nullptr);
    EXPECT_NE(dialogs(), service);
}

TEST(Dialogs, FiltersTurnIntoQtsForm) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"A|*.jpg|B|*.png", u"A (*.jpg);;B (*.png)"},
        {u"A|*.jpg|B|*.png|", u"A (*.jpg);;B (*.png)"},    // a closing "|"
        {std::u16string(u"A\0*.jpg\0", 8), u"A (*.jpg)"},  // NUL separators
        // A name that shows its patterns keeps them once.
        {u"Image Files (*.jpg)|*.jpg|Image Files (*.png)|*.png",
         u"Image Files (*.jpg);;Image Files (*.png)"},
        {u"PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*", u"PDF Files (*.pdf);;All Files (*.*)"},
        // Several patterns of one entry.
        {u"Pictures|*.jpg;*.jpeg; *.png", u"Pictures (*.jpg *.jpeg *.png)"},
        {u"Pictures (*.jpg;*.jpeg)|*.jpg;*.jpeg", u"Pictures (*.jpg *.jpeg)"},
        // A name without a pattern, or an empty pattern, is dropped.
        {u"A|*.jpg|B", u"A (*.jpg)"},
        {u"A||B|*.png", u"B (*.png)"},
        {u"", u""},
    };
    for (const auto& [windows, qt] : cases)
        EXPECT_EQ(qtFilterOf(windows), qt) << platform::text::toUtf8(windows);
}
