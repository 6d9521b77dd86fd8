#include "UntSelFile.h"

#include "NodePictures.h"
#include "SqlText.h"
#include "TADOConnection.h"
#include "Query.h"

TFrmSelFile::TFrmSelFile(ConnectionHolder& connection, QWidget* parent)
    : ServerTreeDialog(connection, parent, QStringLiteral("请选择服务器文件"), QStringLiteral("请选择文件..."), 325) {}

QString TFrmSelFile::fillStatement(const QString& path) {
    return QStringLiteral("Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'") + SqlText::literal(path) +
           QStringLiteral("', 1, 1");
}

void TFrmSelFile::prepareOpening(TADOConnection& connection) {
    // The scratch table belongs to the connection that made it: after a reconnect it may be gone.
    bool exists = false;
    Query::eachRow(connection, QStringLiteral("Select * From tempdb..sysobjects where name like '%##TbFile%'"),
                   [&](const TADODataSet&) { exists = true; });
    // nvarchar: a varchar column keeps only the server code page's characters, and a file name
    // in another script would come back as "?".
    if (!exists)
        connection.Execute(QStringLiteral("Create Table ##TbFile(subdirectory  nvarchar(800) Not Null,[depth] int not "
                                          "null,[file] int Not Null)"));
}

void TFrmSelFile::listChildren(TADOConnection& connection, ServerTreeNode* node, const QString& path) {
    connection.Execute(QStringLiteral("Delete From ##TbFile"));
    connection.Execute(fillStatement(path));
    NodeListing children;
    Query::eachRow(connection, QStringLiteral("Select * From ##TbFile Order by [file],subdirectory"),
                   [&](const TADODataSet& listing) {
                       const QString name = listing.FieldByName(QStringLiteral("subdirectory")).AsString();
                       const bool directory = listing.FieldByName(QStringLiteral("File")).AsInteger() == 0;
                       children.append(name, directory ? NodePictures::ClosedFolder : NodePictures::Sheet);
                   });
    setChildren(node, std::move(children));
}

bool TFrmSelFile::accepts(const ServerTreeNode* node) const { return imageIndex(node) == NodePictures::Sheet; }
