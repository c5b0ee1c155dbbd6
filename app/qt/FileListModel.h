// The file list as a table model over the main window's rows: column 0 the path with the
// status icon, column 1 the size; the playing row in bold with a play mark for its icon. The
// rows' owner tells it of every change.
#pragma once

#include <QAbstractTableModel>
#include <functional>

#include "app/MainDialog.h"

namespace sonvex {

class FileListModel : public QAbstractTableModel, public LRowObserver {
    Q_OBJECT
public:
    explicit FileListModel(MainDialog& dlg, QObject* parent = nullptr);
    ~FileListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // Shows every row anew (after playing started or stopped).
    void RefreshRows();
    // Called after the logic changed which rows are selected or what they show.
    void SetRowsChangedHandler(std::function<void(int, int)> f) { onChanged_ = std::move(f); }

    // LRowObserver
    void BeginInsertRows(int first, int last) override { beginInsertRows({}, first, last); }
    void EndInsertRows() override { endInsertRows(); }
    void BeginRemoveRows(int first, int last) override { beginRemoveRows({}, first, last); }
    void EndRemoveRows() override { endRemoveRows(); }
    void RowsChanged(int first, int last) override;

private:
    MainDialog& dlg_;
    std::function<void(int, int)> onChanged_;
};

}  // namespace sonvex
