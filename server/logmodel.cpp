#include "server/logmodel.h"

#include <QTimer>
#include <algorithm>

namespace tessel::server {

LogModel::LogModel(LogList& log, int batchMs, QObject* parent)
    : QAbstractListModel(parent), log_(&log), rows_(log.lines().size()) {
    if (batchMs > 0) {
        timer_ = new QTimer(this);
        timer_->setSingleShot(true);
        timer_->setInterval(batchMs);
        QObject::connect(timer_, &QTimer::timeout, this, [this] {
            if (added_ == 0) return;
            flush();
            timer_->start();
        });
    }
    log_->setObserver(this);
}

LogModel::~LogModel() {
    if (log_) log_->setObserver(nullptr);
}

int LogModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(rows_);
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
    if (!log_ || !index.isValid() || index.column() != 0 || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= rows_)
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const std::size_t line = static_cast<std::size_t>(index.row()) + added_;
    if (line >= log_->lines().size()) return {};
    const std::u16string& text = log_->lines()[line];
    return QString::fromStdU16String(text);
}

void LogModel::flush() {
    if (!log_ || added_ == 0) return;
    const std::size_t size = log_->lines().size();
    const std::size_t added = std::min(added_, size);
    // The rows whose lines are still in the list, under the new ones.
    const std::size_t kept = std::min(rows_, size - added);
    if (kept < rows_) {
        beginRemoveRows(QModelIndex(), static_cast<int>(kept), static_cast<int>(rows_ - 1));
        rows_ = kept;
        endRemoveRows();
    }
    added_ = added;
    if (added > 0) {
        beginInsertRows(QModelIndex(), 0, static_cast<int>(added - 1));
        rows_ += added;
        added_ = 0;
        endInsertRows();
    }
    added_ = 0;
}

void LogModel::lineAdded() {
    ++added_;
    // A line after a quiet spell shows at once; those that follow it within the batch time
    // wait for the end of the batch.
    if (timer_ && timer_->isActive()) return;
    flush();
    if (timer_) timer_->start();
}

void LogModel::linesCleared() {
    beginResetModel();
    rows_ = log_ ? log_->lines().size() : 0;
    added_ = 0;
    endResetModel();
}

void LogModel::listGone() {
    if (timer_) timer_->stop();
    beginResetModel();
    log_ = nullptr;
    rows_ = 0;
    added_ = 0;
    endResetModel();
}

}  // namespace tessel::server
