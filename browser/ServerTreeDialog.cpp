#include "ServerTreeDialog.h"

#include "CaptionFit.h"
#include "ConnectionHolder.h"
#include "EventGuard.h"
#include "NodeFullPath.h"
#include "NodePictures.h"
#include "TADOConnection.h"
#include "Query.h"

#include <QFont>
#include <QShowEvent>

ServerTreeDialog::ServerTreeDialog(ConnectionHolder& connection, QWidget* parent, const QString& caption,
                                   const QString& prompt, int clientWidth)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      connection_(connection) {
    setWindowTitle(caption);
    setFixedSize(clientWidth, 287);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(12);
    setFont(f);
    for (int i = 0; i < 4; ++i)
        ImageList2.append(NodePictures::icon(i));

    lblSelect = new QLabel(prompt, this);
    lblSelect->setGeometry(8, 8, 78, 12);
    trvw = new ServerTreeView(ImageList2, this);
    trvw->setGeometry(8, 24, 305, 222);
    trvw->setHeaderHidden(true);
    trvw->setIndentation(19);
    trvw->setEditTriggers(QAbstractItemView::NoEditTriggers);
    trvw->setIconSize(QSize(16, 16));
    btnOk = new QPushButton(QStringLiteral("确定(&O)"), this);
    btnOk->setGeometry(136, 256, 75, 25);
    BtnExit = new QPushButton(QStringLiteral("退出(&E)"), this);
    BtnExit->setGeometry(240, 256, 75, 25);
    for (QPushButton* b : {btnOk, BtnExit}) {
        b->setAutoDefault(false); // neither button is the default button
        b->setDefault(false);
    }
    QWidget::setTabOrder(trvw, btnOk);
    QWidget::setTabOrder(btnOk, BtnExit);
    CaptionFit::fitCaptions(this);

    // The selection, not Qt's current item: focusing the tree makes its first node current
    // without selecting it, and that must not list a drive.
    trvw->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(trvw, &ServerTreeView::itemSelectionChanged, this, [this] {
        ServerTreeNode* selected = selectedNode();
        trvw->treeModel()->showSelected(selected);
        guarded(this, [&] { trvwChange(selected); });
    });
    connectGuarded(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    connectGuarded(BtnExit, &QPushButton::clicked, this, [this] { BtnExitClick(); });
}

int ServerTreeDialog::imageIndex(const ServerTreeNode* node) { return node->picture(); }

void ServerTreeDialog::setChildren(ServerTreeNode* parent, NodeListing children) {
    trvw->treeModel()->setChildren(parent, std::move(children));
}

void ServerTreeDialog::showEvent(QShowEvent* event) {
    // The window manager restoring a minimised picker is no new opening: the tree and the
    // listings already made stay as the user left them.
    if (event->spontaneous()) {
        QDialog::showEvent(event);
        return;
    }
    if (parentWidget()) {
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - rect().center());
    }
    guarded(this, [this] { FormShow(); });
    QDialog::showEvent(event);
}

ServerTreeNode* ServerTreeDialog::selectedNode() const {
    const QList<ServerTreeNode*> selected = trvw->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

std::optional<QString> ServerTreeDialog::pick() {
    exec();
    if (!IsSelected)
        return std::nullopt;
    return SelectedPath;
}

void ServerTreeDialog::FormShow() {
    IsSelected = false;
    trvw->clear();
    TADOConnection& connection = connection_.get();
    prepareOpening(connection);
    NodeListing drives;
    Query::eachRow(connection, QStringLiteral("master..xp_availablemedia 2"), [&](const TADODataSet& drive) {
        drives.append(drive.FieldByName(QStringLiteral("Name")).AsString(), NodePictures::ClosedFolder);
    });
    setChildren(nullptr, std::move(drives));
    trvw->setFocus();
}

void ServerTreeDialog::trvwChange(ServerTreeNode* node) {
    // A node that has received children is not listed again during this opening.
    if (!node || node->childCount() > 0)
        return;
    listChildren(connection_.get(), node, NodeFullPath(node));
}

void ServerTreeDialog::btnOkClick() {
    ServerTreeNode* node = selectedNode();
    if (!node || !accepts(node))
        return;
    IsSelected = true;
    SelectedPath = NodeFullPath(node);
    accept(); // the caller ignores the modal result and reads IsSelected
}

void ServerTreeDialog::BtnExitClick() { QDialog::reject(); }

void ServerTreeDialog::reject() {
    // Esc and the title bar's close box end up here: both leave as Exit does.
    guarded(this, [this] { BtnExitClick(); });
}
