#include "BackupFilePick.h"

#include "BackupSetList.h"
#include "MessageBox.h"
#include "TADOConnection.h"
#include "UntSelFile.h"

#include <QLineEdit>

std::optional<QString> runFilePicker(TFrmSelFile& picker) {
    picker.exec();
    if (!picker.IsSelected)
        return std::nullopt;
    return picker.SelectedPath;
}

void pickBackupFile(TADOConnection& connection, const BackupFilePicker& picker, QLineEdit* EdtBakFile,
                    QComboBox* CmbBfj) {
    if (!connection.Connected()) {
        MessageBox::information(QStringLiteral("SQL SERVER服务器未成功连接!"));
        return;
    }
    const std::optional<QString> chosen = picker();
    if (!chosen) {
        EdtBakFile->clear();
        return;
    }
    EdtBakFile->setText(*chosen);
    FillBfjList(connection, EdtBakFile->text(), CmbBfj);
}
