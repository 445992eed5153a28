// The log list seen through its list model: added lines are rows inserted at the top, dropped
// lines rows removed at the bottom, and the rows always read as the list.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>

#include <filesystem>
#include <string>
#include <vector>

#include "fakes.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "server/logmodel.h"

using namespace tessel;
using namespace tessel::server;
using namespace tessel::server::testing;

namespace {

// Qt's model tester checks every change the model announces against what it then reads
// (counts, indexes, parents, data); what it finds is a failure of the running test.
class ModelChecks {
  public:
    explicit ModelChecks(QAbstractItemModel& model)
        : tester_(&model, QAbstractItemModelTester::FailureReportingMode::Warning) {}

  private:
    // Installed before the tester starts and taken away after it ends.
    struct Handler {
        Handler() { previous = qInstallMessageHandler(report); }
        ~Handler() { qInstallMessageHandler(previous); }
        Handler(const Handler&) = delete;
        Handler& operator=(const Handler&) = delete;
        static void report(QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (context.category && std::string_view(context.category) == "qt.modeltest" &&
                type != QtDebugMsg && type != QtInfoMsg)
                ADD_FAILURE() << "model tester: " << text.toStdString();
            else if (previous)
                previous(type, context, text);
        }
        static inline QtMessageHandler previous = nullptr;
    };
    Handler handler_;
    QAbstractItemModelTester tester_;
};

// The model's change signals, as "insert 0-0" and the like, each with the row count the
// model reported at that moment; the model tester watches the same changes.
struct Recorder {
    explicit Recorder(QAbstractItemModel& model) : checks(model) {
        auto rows = [&model, this](const char* what) {
            return [&model, what, this](const QModelIndex&, int first, int last) {
                events.push_back(std::string(what) + " " + std::to_string(first) + "-" +
                                 std::to_string(last) + " of " + std::to_string(model.rowCount()));
            };
        };
        auto whole = [&model, this](const char* what) {
            return [&model, what, this] {
                events.push_back(std::string(what) + " of " + std::to_string(model.rowCount()));
            };
        };
        QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeInserted, rows("insert"));
        QObject::connect(&model, &QAbstractItemModel::rowsInserted, rows("inserted"));
        QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, rows("remove"));
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved, rows("removed"));
        QObject::connect(&model, &QAbstractItemModel::modelAboutToBeReset, whole("reset"));
        QObject::connect(&model, &QAbstractItemModel::modelReset, whole("wasreset"));
        QObject::connect(&model, &QAbstractItemModel::layoutChanged, whole("layout"));
        QObject::connect(&model, &QAbstractItemModel::dataChanged, whole("data"));
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }
    ModelChecks checks;
    std::vector<std::string> events;
};

std::vector<std::string> rowsOf(const QAbstractItemModel& model) {
    std::vector<std::string> out;
    for (int row = 0; row < model.rowCount(); ++row) {
        QString text = model.index(row, 0).data().toString();
        out.push_back(text.mid(20).toStdString());  // after "yyyy-MM-dd HH:mm:ss "
    }
    return out;
}

using Events = std::vector<std::string>;
using Rows = std::vector<std::string>;

}  // namespace

TEST(LogModel, LinesPastTheCapAreRowInsertsAndRemovesNotResets) {
    FixedClock clock;
    LogList log(clock, 3);
    LogModel model(log, 0);
    Recorder recorder(model);

    for (const char16_t* line : {u"a", u"b", u"c"}) log.AddLog(line, 1);
    EXPECT_EQ(recorder.take(),
              (Events{"insert 0-0 of 0", "inserted 0-0 of 1", "insert 0-0 of 1",
                      "inserted 0-0 of 2", "insert 0-0 of 2", "inserted 0-0 of 3"}));
    EXPECT_EQ(rowsOf(model), (Rows{"c", "b", "a"}));
    EXPECT_EQ(model.index(0, 0).data().toString().left(20), "2020-03-02 09:05:03 ");

    log.AddLog(u"d", 1);
    log.AddLog(u"e", 10);
    EXPECT_EQ(recorder.take(), (Events{"remove 2-2 of 3", "removed 2-2 of 2", "insert 0-0 of 2",
                                       "inserted 0-0 of 3", "remove 2-2 of 3", "removed 2-2 of 2",
                                       "insert 0-0 of 2", "inserted 0-0 of 3"}));
    EXPECT_EQ(rowsOf(model), (Rows{"e", "d", "c"}));

    // Above the log level nothing changes; clearing is one reset.
    log.AddLog(u"f", 11);
    EXPECT_TRUE(recorder.take().empty());
    log.clear();
    EXPECT_EQ(recorder.take(), (Events{"reset of 3", "wasreset of 0"}));
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(LogModel, TheDefaultCapOf5000DropsOneRowPerLine) {
    FixedClock clock;
    LogList log(clock);
    LogModel model(log, 0);
    for (int i = 0; i < 5000; ++i) log.AddLog(platform::text::fromUtf8(std::to_string(i)), 1);
    Recorder recorder(model);
    log.AddLog(u"new", 1);
    EXPECT_EQ(recorder.take(), (Events{"remove 4999-4999 of 5000", "removed 4999-4999 of 4999",
                                       "insert 0-0 of 4999", "inserted 0-0 of 5000"}));
    Rows rows = rowsOf(model);
    ASSERT_EQ(rows.size(), 5000u);
    EXPECT_EQ(rows.front(), "new");
    EXPECT_EQ(rows[1], "4999");
    EXPECT_EQ(rows.back(), "1");
}

TEST(LogModel, SavingEmptiesTheRowsAndEitherSideMayGoFirst) {
    platform::testing::TempMachine machine;
    FixedClock clock;
    auto log = std::make_unique<LogList>(clock);
    {
        LogModel shortLived(*log, 0);
        log->AddLog(u"one", 1);
    }
    log->AddLog(u"two", 1);  // the model that watched is gone: nothing to tell
    LogModel model(*log, 0);
    EXPECT_EQ(rowsOf(model), (Rows{"two", "one"}));
    Recorder recorder(model);
    ASSERT_TRUE(log->save(machine.path(), u"TesselServer"));
    EXPECT_EQ(recorder.take(), (Events{"reset of 2", "wasreset of 0"}));
    EXPECT_TRUE(std::filesystem::exists(machine.path() / "TesselServer_20200302.log"));
    log->AddLog(u"three", 1);
    recorder.take();
    log.reset();
    EXPECT_EQ(recorder.take(), (Events{"reset of 1", "wasreset of 0"}));
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.index(0, 0).data().isValid());
}

TEST(LogModel, BatchedLinesGoOnTogetherAndReadRightMeanwhile) {
    int argc = 1;
    char name[] = "logmodel_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);  // for the batch timer
    FixedClock clock;
    LogList log(clock, 4);
    LogModel model(log, 60000);  // a batch that only flush() ends here
    Recorder recorder(model);
    log.AddLog(u"a", 1);  // the first line shows at once
    EXPECT_EQ(recorder.take(), (Events{"insert 0-0 of 0", "inserted 0-0 of 1"}));
    log.AddLog(u"b", 1);
    log.AddLog(u"c", 1);
    EXPECT_EQ(rowsOf(model), (Rows{"a"}));
    model.flush();
    EXPECT_EQ(recorder.take(), (Events{"insert 0-1 of 1", "inserted 0-1 of 3"}));
    EXPECT_EQ(rowsOf(model), (Rows{"c", "b", "a"}));

    // Past the cap: until the flush the view's rows still read what they read, and a row
    // whose line was dropped reads nothing.
    log.AddLog(u"d", 1);
    log.AddLog(u"e", 1);
    log.AddLog(u"f", 1);
    EXPECT_TRUE(recorder.take().empty());
    EXPECT_EQ(rowsOf(model), (Rows{"c", "", ""}));
    model.flush();
    EXPECT_EQ(recorder.take(), (Events{"remove 1-2 of 3", "removed 1-2 of 1", "insert 0-2 of 1",
                                       "inserted 0-2 of 4"}));
    EXPECT_EQ(rowsOf(model), (Rows{"f", "e", "d", "c"}));

    // More lines than the list holds replace every row.
    for (const char16_t* line : {u"g", u"h", u"i", u"j", u"k"}) log.AddLog(line, 1);
    model.flush();
    EXPECT_EQ(recorder.take(), (Events{"remove 0-3 of 4", "removed 0-3 of 0", "insert 0-3 of 0",
                                       "inserted 0-3 of 4"}));
    EXPECT_EQ(rowsOf(model), (Rows{"k", "j", "i", "h"}));
    model.flush();
    EXPECT_TRUE(recorder.take().empty());

    // Clearing drops what waits, at once.
    log.AddLog(u"l", 1);
    EXPECT_TRUE(recorder.take().empty());
    log.clear();
    EXPECT_EQ(recorder.take(), (Events{"reset of 4", "wasreset of 0"}));
    model.flush();
    EXPECT_TRUE(recorder.take().empty());
    EXPECT_EQ(model.rowCount(), 0);
}
