#include "UntSelFile.h"

#include "NodePictures.h"
#include "SqlText.h"
#include "TADOConnection.h"
#include "TADODataSet.h"

TFrmSelFile::TFrmSelFile(QWidget* parent)
    : ServerTreeDialog(parent, QStringLiteral("请选择服务器文件"), QStringLiteral("请选择文件..."), 325) {}

QString TFrmSelFile::fillStatement(const QString& path) {
    return QStringLiteral("Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'") + SqlText::literal(path) +
           QStringLiteral("', 1, 1");
}

void TFrmSelFile::prepareOpening(TADOConnection& connection) {
    // The scratch table belongs to the connection that made it: after a reconnect it may be gone.
    TADODataSet probe(connection);
    probe.setCursorLocation(clUseClient);
    probe.setCommandText(QStringLiteral("Select * From tempdb..sysobjects where name like '%##TbFile%'"));
    probe.Open();
    // nvarchar: a varchar column keeps only the server code page's characters, and a file name
    // in another script would come back as "?".
    if (probe.RecordCount() == 0)
        connection.Execute(QStringLiteral("Create Table ##TbFile(subdirectory  nvarchar(800) Not Null,[depth] int not "
                                          "null,[file] int Not Null)"));
}

void TFrmSelFile::listChildren(TADOConnection& connection, QTreeWidgetItem* node, const QString& path) {
    connection.Execute(QStringLiteral("Delete From ##TbFile"));
    connection.Execute(fillStatement(path));
    TADODataSet listing(connection);
    listing.setCursorLocation(clUseClient);
    listing.setCommandText(QStringLiteral("Select * From ##TbFile Order by [file],subdirectory"));
    listing.Open();
    const int count = listing.RecordCount();
    std::vector<std::unique_ptr<QTreeWidgetItem>> children;
    children.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const QString name = listing.FieldByName(QStringLiteral("subdirectory")).AsString();
        const bool directory = listing.FieldByName(QStringLiteral("File")).AsInteger() == 0;
        children.push_back(makeNode(name, directory ? NodePictures::ClosedFolder : NodePictures::Sheet,
                                    directory ? NodePictures::OpenFolder : NodePictures::OpenBook));
        listing.Next();
    }
    addNodes(node, std::move(children));
}

bool TFrmSelFile::accepts(const QTreeWidgetItem* node) const { return imageIndex(node) == NodePictures::Sheet; }
