#pragma once
// A list of thousands of names lays out in constant time when its rows share one size; that size
// must still fit the widest name, so that it scrolls into view horizontally as in a list that
// measures every row.

#include <QStringList>

class QListWidget;

namespace UniformRows {

// Turns on uniform row sizes for the list.
void enable(QListWidget* list);

// After a fill with texts (the list's rows, in order): gives the row the view takes its uniform
// size from (the last) the size of the widest row. Measures only a few rows exactly; the others
// are compared by an estimate from character widths.
void fitWidest(QListWidget* list, const QStringList& texts);

} // namespace UniformRows
