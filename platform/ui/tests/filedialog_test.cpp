#include "platform/ui/filedialog.h"

#include <gtest/gtest.h>

#include "platform/text/text.h"

using namespace platform::ui;

TEST(FileDialogs, FiltersTurnIntoQtsForm) {
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

TEST(FileDialogs, HeadlessServiceAnswersFromItsScriptThenCancels) {
    auto dialogs = std::make_shared<HeadlessFileDialogs>(false);
    setFileDialogs(dialogs);
    dialogs->script({{u"/a/one.png", u"/a/two.png"}, {u"/b/out.pdf"}, {}});
    EXPECT_EQ(openFileDialog({u"Open", u"A|*.png", {}, true}),
              (std::vector<std::u16string>{u"/a/one.png", u"/a/two.png"}));
    EXPECT_EQ(saveFileDialog({u"Save", u"PDF|*.pdf", u"file.pdf"}), u"/b/out.pdf");
    EXPECT_TRUE(openFileDialog({u"Open"}).empty());   // scripted cancel
    EXPECT_EQ(saveFileDialog({u"Save again"}), u"");  // unscripted: cancel
    const auto shown = dialogs->shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_FALSE(shown[0].save);
    EXPECT_TRUE(shown[1].save);
    EXPECT_EQ(shown[1].request.defaultName, u"file.pdf");
    EXPECT_EQ(shown[3].request.title, u"Save again");

    // A dialog that allows one file hands back one.
    dialogs->script({{u"/a/one.png", u"/a/two.png"}});
    EXPECT_EQ(openFileDialog({u"Open"}).size(), 1u);
    setFileDialogs(nullptr);
    EXPECT_NE(fileDialogs(), dialogs);
}
