#pragma once
// The model behind a picker's tree. An index carries its parent node and its row, so the view
// can lay out and draw a level of any size without a node object per row.

#include "NodeListing.h"
#include "ServerTreeNode.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QList>

#include <memory>

class ServerTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    ServerTreeModel(QList<QIcon> pictures, QObject* parent);

    ServerTreeNode* root() { return root_.get(); }
    // The node of an index, made if need be; the root for an invalid index.
    ServerTreeNode* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const ServerTreeNode* node) const;

    // Puts the entries of a level under a node that has none yet (the root for the drives).
    void setChildren(ServerTreeNode* node, NodeListing children);
    // Draws the node with its selected picture and the one so drawn before with its own.
    void showSelected(ServerTreeNode* node);
    void clear();

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    static ServerTreeNode* parentNode(const QModelIndex& index) {
        return static_cast<ServerTreeNode*>(index.internalPointer());
    }
    // The node of an index if it is an object already, without making it.
    const ServerTreeNode* existingNode(const QModelIndex& index) const;
    void redraw(ServerTreeNode* parent, int row);

    QList<QIcon> pictures_;
    std::unique_ptr<ServerTreeNode> root_;
    ServerTreeNode* shownSelected_ = nullptr; // drawn with its selected picture
};
