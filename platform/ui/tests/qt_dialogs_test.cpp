// The Qt file dialogs on the offscreen platform, answered by a test that picks the file: the
// flags that reach the dialog and the flags it answers with.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/testing/temp_machine.h"
#include "platform/ui/qt_ui.h"

namespace {

namespace ui = platform::ui;

class QtFileDialogs : public ::testing::Test {
  protected:
    // Answers the next file dialog with `name` in the test's folder; records whether it would
    // have asked before overwriting.
    void answerWith(const QString& name) {
        QTimer::singleShot(0, &app, [this, name] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            dialog->selectFile(QString::fromStdString((folder.path() / "").string()) + name);
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        });
    }
    ui::FileDialogRequest save(std::optional<std::int32_t> flags) {
        ui::FileDialogRequest r;
        r.kind = ui::FileDialogRequest::Kind::Save;
        r.initialDir = folder.path().u16string();
        r.defaultExtension = u"txt";
        r.flags = flags;
        return r;
    }

    int argc = 1;
    char name[16] = "qt_dialogs_test";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
    platform::testing::TempMachine folder;
    ui::QtDialogs dialogs;
    bool confirmsOverwrite = false;
};

TEST_F(QtFileDialogs, TheAnswerSaysWhetherTheExtensionDiffersAndKeepsTheOtherFlags) {
    struct Case {
        std::int32_t flags;
        const char* file;
        std::int32_t answered;
        bool confirms;
    };
    const Case cases[] = {
        {0x80000, "a.txt", 0x80000, false},
        {0x80000, "a.log", 0x80000 | ui::OFN_EXTENSIONDIFFERENT, false},
        {ui::OFN_EXTENSIONDIFFERENT | ui::OFN_OVERWRITEPROMPT, "b.TXT", ui::OFN_OVERWRITEPROMPT,
         true},
    };
    for (const Case& c : cases) {
        answerWith(QString::fromLatin1(c.file));
        const auto answer = dialogs.fileDialog(save(c.flags));
        ASSERT_TRUE(answer) << c.file;
        ASSERT_TRUE(answer->flags) << c.file;
        EXPECT_EQ(*answer->flags, c.answered) << c.file;
        EXPECT_EQ(confirmsOverwrite, c.confirms) << c.file;
    }
}

// A caller that gives no flags gets what it had before: a save asks before overwriting, and
// the answer carries no flags.
TEST_F(QtFileDialogs, WithoutFlagsASaveAsksFirstAndAnswersNone) {
    answerWith(QStringLiteral("a.log"));
    const auto answer = dialogs.fileDialog(save(std::nullopt));
    ASSERT_TRUE(answer);
    EXPECT_FALSE(answer->flags);
    EXPECT_TRUE(confirmsOverwrite);
}

}  // namespace
