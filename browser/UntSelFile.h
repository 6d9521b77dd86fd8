#pragma once
// The server file picker: directories and files, listed through the scratch table ##TbFile;
// OK takes only a file node.

#include "ServerTreeDialog.h"

class TFrmSelFile : public ServerTreeDialog {
    Q_OBJECT
public:
    explicit TFrmSelFile(ConnectionHolder& connection, QWidget* parent = nullptr);

    static QString fillStatement(const QString& path);

protected:
    void prepareOpening(TADOConnection& connection) override;
    void listChildren(TADOConnection& connection, ServerTreeNode* node, const QString& path) override;
    bool accepts(const ServerTreeNode* node) const override;
};
