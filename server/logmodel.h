// The log list as a Qt list model for the window. Added and dropped lines reach the view as
// the rows they touched, never as a rebuild of the whole list, and they are handed on in
// batches: a busy server adds a line or two per request, and repainting the list for each of
// them would cost more than answering the request.
#pragma once

#include <QAbstractListModel>
#include <cstddef>

#include "server/loglist.h"

class QTimer;

namespace tessel::server {

class LogModel : public QAbstractListModel, public LogObserver {
  public:
    static constexpr int kDefaultBatchMs = 200;

    // Observes the list until either of the two goes. batchMs 0 hands every line on at once;
    // otherwise a line after a quiet spell goes on at once and the lines added in the
    // batchMs milliseconds after it go on together, at the end of that time.
    explicit LogModel(LogList& log, int batchMs = kDefaultBatchMs, QObject* parent = nullptr);
    ~LogModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Hands the lines added so far on to the view now (the batch time runs on).
    void flush();

    void lineAdded() override;
    void linesCleared() override;
    void listGone() override;

  private:
    LogList* log_;
    QTimer* timer_ = nullptr;
    // The rows the view knows of: row r shows line r + added_ of the list, where added_
    // counts the lines added since the last flush (a row whose line was dropped meanwhile
    // shows nothing until the flush removes it).
    std::size_t rows_ = 0;
    std::size_t added_ = 0;
};

}  // namespace tessel::server
