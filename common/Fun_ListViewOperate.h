#pragma once

#include <QString>

class QTreeWidget;

// Column fitting and header-click sorting for the report-style lists.
namespace Fun_ListViewOperate {

// Widens each column (all with -1, else the one numbered from 0) to its widest text measured
// with the list's font: the header + 20 px, a first-column cell + 14 px (+ 20 px more when the
// items carry check boxes), any other cell + 14 px.
void FitColumnWidths(QTreeWidget* list, int column = -1);

// Sorts by the clicked column: ascending when the column was not the sort key, otherwise the
// order opposite to the column's last one. The order is kept as "asc"/"desc" in the header item.
// Sorting stays on afterwards, so the list keeps that order as items come and change.
void SortByColumn(QTreeWidget* list, int column);

// The order SortByColumn last gave the column: "asc", "desc" or "" when it never sorted it.
QString SortTag(const QTreeWidget* list, int column);

}  // namespace Fun_ListViewOperate
