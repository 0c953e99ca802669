#pragma once
// The main window's list as a Qt model over the rows the editor model produces, so that a
// branch of many thousand items fills the list without one widget per row.

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "editor/EditorModel.h"

namespace orva::editor::ui {

class RowListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Replaces columns and rows at once.
    void setContent(ListContent content);
    void clear() { setContent({}); }

    const std::vector<ListColumn>& columns() const { return content_.columns; }
    const std::vector<ListRow>& rows() const { return content_.rows; }
    const ListRow& row(int r) const { return content_.rows.at(static_cast<std::size_t>(r)); }
    // The row of a key (letter case aside), or -1.
    int rowOfKey(std::string_view key) const;
    // Shows a new comment in an item row.
    void setComment(int r, std::string comment);
    // The icon view shows each row's large image (an item's data type); the other views its
    // small one.
    void setLargeIcons(bool large);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Rows sort ascending by the column's text, whatever the order asked for.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    const std::string& cell(const ListRow& row, int column) const;

    ListContent content_;
    bool largeIcons_ = false;
};

}  // namespace orva::editor::ui
