#pragma once
// What the two server pickers share: a tree of the server's fixed drives whose directory levels
// are listed on demand, one level per selection, over the borrowed server connection; OK and
// Exit buttons; and the result fields the caller reads after the modal dialog has closed.

#include "NodeListing.h"
#include "ServerTreeView.h"

#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QList>
#include <QPushButton>

#include <optional>

class ConnectionHolder;
class TADOConnection;

class ServerTreeDialog : public QDialog {
    Q_OBJECT
public:
    // True only after OK accepted a node during the current opening.
    bool IsSelected = false;
    // The accepted node's full server path; meaningful only while IsSelected is true.
    QString SelectedPath;

    QLabel* lblSelect;
    ServerTreeView* trvw;
    QPushButton* btnOk;
    QPushButton* BtnExit;
    QList<QIcon> ImageList2;

    // Shows the dialog modally: the accepted node's path, or nothing when left without a pick.
    std::optional<QString> pick();

    void FormShow();
    void trvwChange(ServerTreeNode* node);
    void btnOkClick();
    void BtnExitClick();

    void reject() override;

    // The picture index of a node: 0 for a drive or directory, 2 for a file.
    static int imageIndex(const ServerTreeNode* node);

protected:
    ServerTreeDialog(ConnectionHolder& connection, QWidget* parent, const QString& caption, const QString& prompt,
                     int clientWidth);

    // The picker's own steps: preparing an opening, listing one node, and which node OK takes.
    virtual void prepareOpening(TADOConnection&) {}
    virtual void listChildren(TADOConnection& connection, ServerTreeNode* node, const QString& path) = 0;
    virtual bool accepts(const ServerTreeNode* node) const = 0;

    // Puts a listed level under parent (the drives under nothing) in one insertion: one at a
    // time, each insertion costs the view a round of model signals, and a directory may hold
    // hundreds of thousands of files.
    void setChildren(ServerTreeNode* parent, NodeListing children);

    void showEvent(QShowEvent* event) override;

private:
    ServerTreeNode* selectedNode() const;

    ConnectionHolder& connection_;
};
