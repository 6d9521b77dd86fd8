#include "ServerTreeView.h"

#include <QItemSelectionModel>

ServerTreeView::ServerTreeView(const QList<QIcon>& pictures, QWidget* parent)
    : QTreeView(parent), model_(new ServerTreeModel(pictures, this)) {
    setModel(model_);
    // Every row is one line of a 16-pixel picture and text: the view need not ask each row of a
    // long level for its height.
    setUniformRowHeights(true);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &ServerTreeView::itemSelectionChanged);
}

int ServerTreeView::topLevelItemCount() const { return model_->rowCount(); }

ServerTreeNode* ServerTreeView::topLevelItem(int index) const {
    const QModelIndex drive = model_->index(index, 0);
    return drive.isValid() ? model_->nodeOf(drive) : nullptr;
}

QList<ServerTreeNode*> ServerTreeView::findItems(const QString& text, Qt::MatchFlags flags) const {
    QList<ServerTreeNode*> found;
    if (topLevelItemCount() == 0)
        return found;
    for (const QModelIndex& index : model_->match(model_->index(0, 0), Qt::DisplayRole, text, -1, flags))
        found.append(model_->nodeOf(index));
    return found;
}

ServerTreeNode* ServerTreeView::currentItem() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? model_->nodeOf(current) : nullptr;
}

void ServerTreeView::setCurrentItem(const ServerTreeNode* node) { setCurrentIndex(model_->indexOf(node)); }

QList<ServerTreeNode*> ServerTreeView::selectedItems() const {
    QList<ServerTreeNode*> nodes;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        nodes.append(model_->nodeOf(index));
    return nodes;
}

void ServerTreeView::expandItem(const ServerTreeNode* node) { expand(model_->indexOf(node)); }

bool ServerTreeView::isItemExpanded(const ServerTreeNode* node) const { return isExpanded(model_->indexOf(node)); }

void ServerTreeView::clear() {
    selectionModel()->clear();
    model_->clear();
}
