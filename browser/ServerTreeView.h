#pragma once
// A picker's tree view over its ServerTreeModel, with the node-level calls the pickers and
// their callers use: top-level nodes, the current and selected node, finding a drive by name.

#include "ServerTreeModel.h"

#include <QList>
#include <QTreeView>

class ServerTreeView : public QTreeView {
    Q_OBJECT
public:
    ServerTreeView(const QList<QIcon>& pictures, QWidget* parent);

    ServerTreeModel* treeModel() const { return model_; }

    int topLevelItemCount() const;
    ServerTreeNode* topLevelItem(int index) const;
    // The top-level nodes whose text matches.
    QList<ServerTreeNode*> findItems(const QString& text, Qt::MatchFlags flags) const;

    ServerTreeNode* currentItem() const;
    // Makes the node current and, in single selection, the selected one.
    void setCurrentItem(const ServerTreeNode* node);
    QList<ServerTreeNode*> selectedItems() const;

    void expandItem(const ServerTreeNode* node);
    bool isItemExpanded(const ServerTreeNode* node) const;

    // Empties the tree; a selection there was goes first, with its signal.
    void clear();

signals:
    void itemSelectionChanged();

private:
    ServerTreeModel* model_; // owned by this view
};
