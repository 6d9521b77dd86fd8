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

namespace {
constexpr int kImageRole = Qt::UserRole;
constexpr int kSelectedImageRole = Qt::UserRole + 1;
} // namespace

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
    trvw = new QTreeWidget(this);
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
    connect(trvw, &QTreeWidget::itemSelectionChanged, this, [this] {
        QTreeWidgetItem* selected = selectedNode();
        if (shownSelected_ && shownSelected_ != selected)
            showPicture(shownSelected_, false);
        if (selected)
            showPicture(selected, true);
        shownSelected_ = selected;
        guarded(this, [&] { trvwChange(selected); });
    });
    connectGuarded(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    connectGuarded(BtnExit, &QPushButton::clicked, this, [this] { BtnExitClick(); });
}

int ServerTreeDialog::imageIndex(const QTreeWidgetItem* node) { return node->data(0, kImageRole).toInt(); }

QTreeWidgetItem* ServerTreeDialog::addNode(QTreeWidgetItem* parent, const QString& text, int image,
                                           int selectedImage) {
    std::vector<std::unique_ptr<QTreeWidgetItem>> one;
    one.push_back(makeNode(text, image, selectedImage));
    QTreeWidgetItem* node = one.front().get();
    addNodes(parent, std::move(one));
    return node;
}

std::unique_ptr<QTreeWidgetItem> ServerTreeDialog::makeNode(const QString& text, int image, int selectedImage) const {
    auto node = std::make_unique<QTreeWidgetItem>();
    node->setText(0, text);
    node->setData(0, kImageRole, image);
    node->setData(0, kSelectedImageRole, selectedImage);
    node->setIcon(0, ImageList2.value(image));
    return node;
}

void ServerTreeDialog::addNodes(QTreeWidgetItem* parent, std::vector<std::unique_ptr<QTreeWidgetItem>> nodes) {
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(nodes.size()));
    for (auto& node : nodes)
        items.append(node.release()); // owned by the tree from the next line on
    if (parent)
        parent->addChildren(items);
    else
        trvw->addTopLevelItems(items);
}

void ServerTreeDialog::showPicture(QTreeWidgetItem* node, bool selected) {
    node->setIcon(0, ImageList2.value(node->data(0, selected ? kSelectedImageRole : kImageRole).toInt()));
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

QTreeWidgetItem* ServerTreeDialog::selectedNode() const {
    const QList<QTreeWidgetItem*> selected = trvw->selectedItems();
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
    shownSelected_ = nullptr;
    trvw->clear();
    TADOConnection& connection = connection_.get();
    prepareOpening(connection);
    Query::eachRow(connection, QStringLiteral("master..xp_availablemedia 2"), [this](const TADODataSet& drive) {
        addNode(nullptr, drive.FieldByName(QStringLiteral("Name")).AsString(), NodePictures::ClosedFolder,
                NodePictures::OpenFolder);
    });
    trvw->setFocus();
}

void ServerTreeDialog::trvwChange(QTreeWidgetItem* node) {
    // A node that has received children is not listed again during this opening.
    if (!node || node->childCount() > 0)
        return;
    listChildren(connection_.get(), node, NodeFullPath(node));
}

void ServerTreeDialog::btnOkClick() {
    QTreeWidgetItem* node = selectedNode();
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
