// The log list as a Qt list model: a view shows the lines newest first, and each added or
// dropped line reaches it as the rows it touched, never as a rebuild of the whole list.
#pragma once

#include <QAbstractListModel>

#include "server/loglist.h"

namespace tessel::server {

class LogModel : public QAbstractListModel, public LogObserver {
  public:
    // Observes the list until either of the two goes.
    explicit LogModel(LogList& log, QObject* parent = nullptr);
    ~LogModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void beginInsertLines(std::size_t first, std::size_t last) override;
    void endInsertLines() override;
    void beginRemoveLines(std::size_t first, std::size_t last) override;
    void endRemoveLines() override;
    void beginClearLines() override;
    void endClearLines() override;
    void listGone() override;

  private:
    LogList* log_;
};

}  // namespace tessel::server
