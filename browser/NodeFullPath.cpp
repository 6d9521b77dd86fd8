#include "NodeFullPath.h"

#include <QString>
#include <QTreeWidgetItem>

QString NodeFullPath(const QTreeWidgetItem* node) {
    QString path = node->text(0);
    for (const QTreeWidgetItem* a = node->parent(); a; a = a->parent()) {
        const QString text = a->text(0);
        path = text.endsWith(QLatin1Char('\\')) ? text + path : text + QLatin1Char('\\') + path;
    }
    return path;
}
