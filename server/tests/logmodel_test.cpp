// The log list seen through its list model: every added line is one inserted row at the top,
// every dropped line one removed row at the bottom, and the rows always read as the list.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fakes.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "server/logmodel.h"

using namespace tessel::server;
using namespace tessel::server::testing;

namespace {

// The model's change signals, as "insert 0-0" and the like, each with the row count the
// model reported at that moment.
struct Recorder {
    explicit Recorder(QAbstractItemModel& model) {
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
    LogModel model(log);
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
    LogModel model(log);
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
        LogModel shortLived(*log);
        log->AddLog(u"one", 1);
    }
    log->AddLog(u"two", 1);  // the model that watched is gone: nothing to tell
    LogModel model(*log);
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
