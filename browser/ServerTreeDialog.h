#pragma once
// What the two server pickers share: a tree of the server's fixed drives whose directory levels
// are listed on demand, one level per selection, over the borrowed server connection; OK and
// Exit buttons; and the result fields the caller reads after the modal dialog has closed.

#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QList>
#include <QPushButton>
#include <QTreeWidget>

#include <memory>
#include <optional>
#include <vector>

class ConnectionHolder;
class TADOConnection;

class ServerTreeDialog : public QDialog {
    Q_OBJECT
public:
    // True only after OK accepted a node during the current opening.
    bool IsSelected = false;
    // The accepted node's full server path; meaningful only while IsSelected is true.
    QString SelectedPath;

    QLabel* lblSelect;
    QTreeWidget* trvw;
    QPushButton* btnOk;
    QPushButton* BtnExit;
    QList<QIcon> ImageList2;

    // Shows the dialog modally: the accepted node's path, or nothing when left without a pick.
    std::optional<QString> pick();

    void FormShow();
    void trvwChange(QTreeWidgetItem* node);
    void btnOkClick();
    void BtnExitClick();

    void reject() override;

    // The picture index of a node: 0 for a drive or directory, 2 for a file.
    static int imageIndex(const QTreeWidgetItem* node);

protected:
    ServerTreeDialog(ConnectionHolder& connection, QWidget* parent, const QString& caption, const QString& prompt,
                     int clientWidth);

    // The picker's own steps: preparing an opening, listing one node, and which node OK takes.
    virtual void prepareOpening(TADOConnection&) {}
    virtual void listChildren(TADOConnection& connection, QTreeWidgetItem* node, const QString& path) = 0;
    virtual bool accepts(const QTreeWidgetItem* node) const = 0;

    // Appends a node with its picture and selected picture.
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, int image, int selectedImage);

    // A node with its pictures that is not in the tree yet; addNodes puts such nodes in.
    std::unique_ptr<QTreeWidgetItem> makeNode(const QString& text, int image, int selectedImage) const;
    // Appends the nodes under parent in one insertion: one at a time, each insertion costs the
    // view a round of model signals, and a directory may hold tens of thousands of files.
    void addNodes(QTreeWidgetItem* parent, std::vector<std::unique_ptr<QTreeWidgetItem>> nodes);

    void showEvent(QShowEvent* event) override;

private:
    QTreeWidgetItem* selectedNode() const;
    void showPicture(QTreeWidgetItem* node, bool selected);

    ConnectionHolder& connection_;
    QTreeWidgetItem* shownSelected_ = nullptr; // the node drawn with its selected picture
};
