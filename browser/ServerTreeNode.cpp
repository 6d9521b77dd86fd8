#include "ServerTreeNode.h"

#include "NodePictures.h"

QString ServerTreeNode::text(int) const {
    return parent_ ? parent_->children_.name(row_).toString() : QString();
}

ServerTreeNode* ServerTreeNode::parent() const { return parent_ && parent_->parent_ ? parent_ : nullptr; }

ServerTreeNode* ServerTreeNode::child(int row) {
    if (row < 0 || row >= childCount())
        return nullptr;
    std::unique_ptr<ServerTreeNode>& node = made_[row];
    if (!node)
        node = std::make_unique<ServerTreeNode>(this, row);
    return node.get();
}

const ServerTreeNode* ServerTreeNode::existingChild(int row) const {
    const auto found = made_.find(row);
    return found == made_.end() ? nullptr : found->second.get();
}

int ServerTreeNode::picture() const { return parent_ ? parent_->children_.picture(row_) : NodePictures::ClosedFolder; }

int ServerTreeNode::shownPicture() const {
    return parent_ && parent_->selectedChild_ == row_ ? NodePictures::selected(picture()) : picture();
}

QIcon ServerTreeNode::icon(int) const { return NodePictures::icon(shownPicture()); }
