#include "Fun_ListViewOperate.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace {

constexpr int kHeaderMargin = 20;
constexpr int kCellMargin = 14;
constexpr int kCheckBoxRoom = 20;
constexpr int kSortTagRole = Qt::UserRole;
const char* const kSortKeyProperty = "SortKey";

bool HasCheckBoxes(const QTreeWidget* list) {
    const QTreeWidgetItem* first = list->topLevelItem(0);
    return first && first->data(0, Qt::CheckStateRole).isValid();
}

int FittedWidth(const QTreeWidget* list, int column, const QFontMetrics& metrics) {
    int width = metrics.horizontalAdvance(list->headerItem()->text(column)) + kHeaderMargin;
    const int extra = kCellMargin + (column == 0 && HasCheckBoxes(list) ? kCheckBoxRoom : 0);
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        width = qMax(width, metrics.horizontalAdvance(list->topLevelItem(i)->text(column)) + extra);
    return width;
}

}  // namespace

namespace Fun_ListViewOperate {

void FitColumnWidths(QTreeWidget* list, int column) {
    const QFontMetrics metrics(list->font());
    const int first = column < 0 ? 0 : column;
    const int last = column < 0 ? list->columnCount() - 1 : qMin(column, list->columnCount() - 1);
    for (int c = first; c <= last; ++c)
        list->setColumnWidth(c, FittedWidth(list, c, metrics));
}

void SortByColumn(QTreeWidget* list, int column) {
    QTreeWidgetItem* header = list->headerItem();
    const QVariant key = list->property(kSortKeyProperty);
    QString tag = QStringLiteral("asc");
    if (key.isValid() && key.toInt() == column && SortTag(list, column) != QLatin1String("desc"))
        tag = QStringLiteral("desc");
    list->setProperty(kSortKeyProperty, column);
    header->setData(column, kSortTagRole, tag);
    const Qt::SortOrder order =
        tag == QLatin1String("asc") ? Qt::AscendingOrder : Qt::DescendingOrder;
    // Sorting stays on: items added or renamed later take their place in the order.
    list->setSortingEnabled(true);
    list->header()->setSortIndicator(column, order);
    list->sortItems(column, order);
}

QString SortTag(const QTreeWidget* list, int column) {
    return list->headerItem()->data(column, kSortTagRole).toString();
}

}  // namespace Fun_ListViewOperate
