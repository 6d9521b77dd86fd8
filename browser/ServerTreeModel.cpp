#include "ServerTreeModel.h"

#include "NodePictures.h"

ServerTreeModel::ServerTreeModel(QList<QIcon> pictures, QObject* parent)
    : QAbstractItemModel(parent), pictures_(std::move(pictures)), root_(std::make_unique<ServerTreeNode>()) {}

ServerTreeNode* ServerTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? parentNode(index)->child(index.row()) : root_.get();
}

const ServerTreeNode* ServerTreeModel::existingNode(const QModelIndex& index) const {
    return index.isValid() ? parentNode(index)->existingChild(index.row()) : root_.get();
}

QModelIndex ServerTreeModel::indexOf(const ServerTreeNode* node) const {
    if (!node || !node->parent_)
        return {};
    return createIndex(node->row_, 0, node->parent_);
}

void ServerTreeModel::setChildren(ServerTreeNode* node, NodeListing children) {
    if (!node)
        node = root_.get();
    if (children.isEmpty() || node->childCount() > 0)
        return;
    beginInsertRows(indexOf(node), 0, children.size() - 1);
    node->children_ = std::move(children);
    endInsertRows();
}

void ServerTreeModel::redraw(ServerTreeNode* parent, int row) {
    const QModelIndex changed = createIndex(row, 0, parent);
    emit dataChanged(changed, changed, {Qt::DecorationRole});
}

void ServerTreeModel::showSelected(ServerTreeNode* node) {
    if (node == shownSelected_)
        return;
    if (shownSelected_) {
        shownSelected_->parent_->selectedChild_ = -1;
        redraw(shownSelected_->parent_, shownSelected_->row_);
    }
    shownSelected_ = node && node->parent_ ? node : nullptr;
    if (shownSelected_) {
        shownSelected_->parent_->selectedChild_ = shownSelected_->row_;
        redraw(shownSelected_->parent_, shownSelected_->row_);
    }
}

void ServerTreeModel::clear() {
    beginResetModel();
    shownSelected_ = nullptr;
    root_ = std::make_unique<ServerTreeNode>();
    endResetModel();
}

QModelIndex ServerTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0 || parent.column() > 0)
        return {};
    // Only a parent that has children has a row to index, so it is an object already.
    const ServerTreeNode* node = existingNode(parent);
    if (!node || row >= node->childCount())
        return {};
    return createIndex(row, 0, node);
}

QModelIndex ServerTreeModel::parent(const QModelIndex& index) const {
    if (!index.isValid())
        return {};
    return indexOf(parentNode(index));
}

int ServerTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    const ServerTreeNode* node = existingNode(parent);
    return node ? node->childCount() : 0;
}

int ServerTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool ServerTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant ServerTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const ServerTreeNode* parent = parentNode(index);
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole: return parent->children_.name(row).toString();
    case Qt::DecorationRole: {
        const int picture = parent->children_.picture(row);
        return pictures_.value(parent->selectedChild_ == row ? NodePictures::selected(picture) : picture);
    }
    default: return {};
    }
}

Qt::ItemFlags ServerTreeModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
