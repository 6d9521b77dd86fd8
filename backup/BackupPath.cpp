#include "BackupPath.h"

#include "MessageBox.h"
#include "TADOConnection.h"
#include "UntSelPath.h"

#include <QLineEdit>

void pickBackupDirectory(TADOConnection& connection, TFrmSelPath& picker, QLineEdit* EdtPath) {
    if (!connection.Connected()) {
        MessageBox::information(QStringLiteral("SQL SERVER服务器未成功连接!"));
        return;
    }
    picker.exec();
    if (!picker.IsSelected) {
        EdtPath->clear();
        return;
    }
    const QString path = picker.SelectedPath;
    EdtPath->setText(path.endsWith(QLatin1Char('\\')) ? path : path + QLatin1Char('\\'));
}
