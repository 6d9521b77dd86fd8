#pragma once

#include <QString>

// The full server path of a tree node: the node's text preceded by each ancestor's text, with
// "\" inserted only after an ancestor whose text does not already end with "\". Any node type
// with text(0) and parent() (nothing above the top level) will do.
template <class Node>
QString NodeFullPath(const Node* node) {
    QString path = node->text(0);
    for (const Node* a = node->parent(); a; a = a->parent()) {
        const QString text = a->text(0);
        path = text.endsWith(QLatin1Char('\\')) ? text + path : text + QLatin1Char('\\') + path;
    }
    return path;
}
