#include "app/qt/FileListModel.h"

#include <QFont>

#include "app/qt/Icons.h"

namespace sonvex {

FileListModel::FileListModel(MainDialog& dlg, QObject* parent)
    : QAbstractTableModel(parent), dlg_(dlg) {
    dlg_.SetRowObserver(this);
}

FileListModel::~FileListModel() {
    dlg_.SetRowObserver(nullptr);
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : dlg_.RowCount();
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= dlg_.RowCount()) return {};
    const auto& r = dlg_.Rows()[static_cast<size_t>(index.row())];
    const bool bPlaying = index.row() == dlg_.PlayingRow();
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(index.column() == 0 ? r.szPath : r.szSize);
        case Qt::ToolTipRole:
            return index.column() == 0 ? QString::fromStdString(r.szPath) : QVariant();
        case Qt::DecorationRole:
            if (index.column() != 0) return {};
            return bPlaying ? PlayingIcon() : StatusIcon(r.iImage);
        case Qt::FontRole:
            if (bPlaying) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        case Qt::TextAlignmentRole:
            return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        default:
            return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? tr("Source File") : tr("Size");
}

void FileListModel::RefreshRows() {
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 1));
}

void FileListModel::RowsChanged(int first, int last) {
    emit dataChanged(index(first, 0), index(last, 1));
    if (onChanged_) onChanged_(first, last);
}

}  // namespace sonvex
