#pragma once
// The four 16 x 16 node pictures both pickers use: closed and open folder (drives and
// directories), ruled sheet and open book (files, as not selected and selected).

#include <QIcon>

namespace NodePictures {
enum Index { ClosedFolder = 0, OpenFolder = 1, Sheet = 2, OpenBook = 3 };
QIcon icon(int index);
// The picture a node of the given picture shows while selected.
int selected(int index);
} // namespace NodePictures
