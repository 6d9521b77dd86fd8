#pragma once
// One node of a picker's tree: a drive, directory or file of the server. Its own children are
// kept as a NodeListing; a child becomes an object only when something asks for it (a
// selection, a listing of its own, a caller walking the tree), so a level of 200,000 files
// costs its names and little more. A node stays where it is until the tree is cleared.

#include "NodeListing.h"

#include <QIcon>

#include <memory>
#include <unordered_map>

class ServerTreeNode {
public:
    ServerTreeNode() = default; // the invisible root above the drives
    ServerTreeNode(ServerTreeNode* parent, int row) : parent_(parent), row_(row) {}
    ServerTreeNode(const ServerTreeNode&) = delete;
    ServerTreeNode& operator=(const ServerTreeNode&) = delete;

    // The node's name; there is one column.
    QString text(int column = 0) const;
    // Nothing for a drive, as for a top-level tree item.
    ServerTreeNode* parent() const;
    int row() const { return row_; }

    int childCount() const { return children_.size(); }
    // Nothing for a row out of range.
    ServerTreeNode* child(int row);
    // The child as an object if it has become one, without making it.
    const ServerTreeNode* existingChild(int row) const;
    const NodeListing& children() const { return children_; }

    // The picture it was listed with, and the one drawn now (the selected picture while selected).
    int picture() const;
    int shownPicture() const;
    QIcon icon(int column = 0) const;

private:
    friend class ServerTreeModel;

    ServerTreeNode* parent_ = nullptr; // the root for a drive, nothing for the root
    int row_ = -1;
    NodeListing children_;
    int selectedChild_ = -1; // the child row drawn with its selected picture
    std::unordered_map<int, std::unique_ptr<ServerTreeNode>> made_;
};
