#include "server/logmodel.h"

namespace tessel::server {

LogModel::LogModel(LogList& log, QObject* parent) : QAbstractListModel(parent), log_(&log) {
    log_->setObserver(this);
}

LogModel::~LogModel() {
    if (log_) log_->setObserver(nullptr);
}

int LogModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !log_) return 0;
    return static_cast<int>(log_->lines().size());
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
    if (!log_ || !index.isValid() || index.column() != 0 || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= log_->lines().size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const std::u16string& line = log_->lines()[static_cast<std::size_t>(index.row())];
    return QString::fromUtf16(line.data(), static_cast<qsizetype>(line.size()));
}

void LogModel::beginInsertLines(std::size_t first, std::size_t last) {
    beginInsertRows(QModelIndex(), static_cast<int>(first), static_cast<int>(last));
}

void LogModel::endInsertLines() {
    endInsertRows();
}

void LogModel::beginRemoveLines(std::size_t first, std::size_t last) {
    beginRemoveRows(QModelIndex(), static_cast<int>(first), static_cast<int>(last));
}

void LogModel::endRemoveLines() {
    endRemoveRows();
}

void LogModel::beginClearLines() {
    beginResetModel();
}

void LogModel::endClearLines() {
    endResetModel();
}

void LogModel::listGone() {
    beginResetModel();
    log_ = nullptr;
    endResetModel();
}

}  // namespace tessel::server
