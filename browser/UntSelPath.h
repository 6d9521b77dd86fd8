#pragma once
// The server directory picker: drives and directories only; OK takes any selected node.

#include "ServerTreeDialog.h"

class TFrmSelPath : public ServerTreeDialog {
    Q_OBJECT
public:
    explicit TFrmSelPath(ConnectionHolder& connection, QWidget* parent = nullptr);

    static QString listingStatement(const QString& path);

protected:
    void listChildren(TADOConnection& connection, ServerTreeNode* node, const QString& path) override;
    bool accepts(const ServerTreeNode*) const override { return true; }
};
