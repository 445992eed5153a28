#include <gtest/gtest.h>

#include "platform/ui/dialogs.h"

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
