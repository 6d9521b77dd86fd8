#pragma once

class QTreeWidgetItem;
class QString;

// The full server path of a tree node: the node's text preceded by each ancestor's text, with
// "\" inserted only after an ancestor whose text does not already end with "\".
QString NodeFullPath(const QTreeWidgetItem* node);
