#include "editor/ui/RowListModel.h"

#include <algorithm>

#include "QtText.h"
#include "editor/Text.h"
#include "editor/ui/Icons.h"

namespace orva::editor::ui {

void RowListModel::setContent(ListContent content)
{
    beginResetModel();
    content_ = std::move(content);
    endResetModel();
}

int RowListModel::rowOfKey(std::string_view key) const
{
    for (std::size_t r = 0; r < content_.rows.size(); ++r)
        if (equalNoCase(content_.rows[r].key, key)) return static_cast<int>(r);
    return -1;
}

void RowListModel::setComment(int r, std::string comment)
{
    auto& row = content_.rows.at(static_cast<std::size_t>(r));
    if (row.columns.empty()) return;
    row.columns[0] = std::move(comment);
    emit dataChanged(index(r, 1), index(r, 1));
}

void RowListModel::setLargeIcons(bool large)
{
    if (large == largeIcons_) return;
    largeIcons_ = large;
    if (!content_.rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

int RowListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(content_.rows.size());
}

int RowListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(content_.columns.size());
}

const std::string& RowListModel::cell(const ListRow& row, int column) const
{
    static const std::string empty;
    if (column == 0) return row.text;
    const auto c = static_cast<std::size_t>(column - 1);
    return c < row.columns.size() ? row.columns[c] : empty;
}

QVariant RowListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ListRow& row = content_.rows[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return qs(cell(row, index.column()));
        case Qt::DecorationRole:
            if (index.column() != 0) return {};
            if (largeIcons_) return editorIcon(row.icon.empty() ? row.smallIcon : row.icon);
            return editorIcon(row.smallIcon.empty() ? row.icon : row.smallIcon);
        case Qt::UserRole:
            return qs(row.key);
        default:
            return {};
    }
}

QVariant RowListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= columnCount()) return {};
    return qs(content_.columns[static_cast<std::size_t>(section)].title);
}

void RowListModel::sort(int column, Qt::SortOrder)
{
    if (column < 0 || column >= columnCount()) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    // Remember which row each persistent index pointed at, so selections survive sorting.
    std::vector<std::size_t> order(content_.rows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return QString::compare(qs(cell(content_.rows[a], column)), qs(cell(content_.rows[b], column)),
                                Qt::CaseInsensitive) < 0;
    });
    std::vector<int> newPosition(order.size());
    std::vector<ListRow> sorted;
    sorted.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        newPosition[order[i]] = static_cast<int>(i);
        sorted.push_back(std::move(content_.rows[order[i]]));
    }
    content_.rows = std::move(sorted);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.push_back(index(newPosition[static_cast<std::size_t>(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace orva::editor::ui
