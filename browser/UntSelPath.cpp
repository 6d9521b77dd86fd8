#include "UntSelPath.h"

#include "NodePictures.h"
#include "SqlText.h"
#include "TADODataSet.h"

TFrmSelPath::TFrmSelPath(QWidget* parent)
    : ServerTreeDialog(parent, QStringLiteral("选择服务器路径"), QStringLiteral("请选择路径..."), 324) {}

QString TFrmSelPath::listingStatement(const QString& path) {
    return QStringLiteral("EXECUTE master.dbo.xp_dirtree N'") + SqlText::literal(path) + QStringLiteral("', 1, 0");
}

void TFrmSelPath::listChildren(TADOConnection& connection, QTreeWidgetItem* node, const QString& path) {
    TADODataSet listing(connection);
    listing.setCursorLocation(clUseClient);
    listing.setCommandText(listingStatement(path));
    listing.Open();
    const int count = listing.RecordCount();
    std::vector<std::unique_ptr<QTreeWidgetItem>> children;
    children.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        children.push_back(makeNode(listing.FieldByName(QStringLiteral("subdirectory")).AsString(),
                                    NodePictures::ClosedFolder, NodePictures::OpenFolder));
        listing.Next();
    }
    addNodes(node, std::move(children));
}
