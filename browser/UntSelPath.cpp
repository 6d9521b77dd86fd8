#include "UntSelPath.h"

#include "NodePictures.h"
#include "SqlText.h"
#include "Query.h"

TFrmSelPath::TFrmSelPath(ConnectionHolder& connection, QWidget* parent)
    : ServerTreeDialog(connection, parent, QStringLiteral("选择服务器路径"), QStringLiteral("请选择路径..."), 324) {}

QString TFrmSelPath::listingStatement(const QString& path) {
    return QStringLiteral("EXECUTE master.dbo.xp_dirtree N'") + SqlText::literal(path) + QStringLiteral("', 1, 0");
}

void TFrmSelPath::listChildren(TADOConnection& connection, ServerTreeNode* node, const QString& path) {
    NodeListing children;
    Query::eachRow(connection, listingStatement(path), [&](const TADODataSet& listing) {
        children.append(listing.FieldByName(QStringLiteral("subdirectory")).AsString(), NodePictures::ClosedFolder);
    });
    setChildren(node, std::move(children));
}
