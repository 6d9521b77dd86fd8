#include "OptionsPage.h"

#include "CertificatePins.h"
#include "EventGuard.h"
#include "NewTexts.h"
#include "OptionsLayout.h"
#include "RecentServers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>

#include <stdexcept>

namespace {

using NewTexts::text;

template <typename W> W* make(QWidget* parent, const char* name, const QString& accessibleName) {
    auto* w = new W(parent); // owned by its parent
    w->setObjectName(QLatin1String(name));
    if (!accessibleName.isEmpty()) // a label without one is read by its text
        w->setAccessibleName(accessibleName);
    return w;
}

// The caption without its "&" mnemonic, as a screen reader says it.
QString spoken(const QString& caption) {
    QString plain = caption;
    return plain.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&")));
}

template <typename W> W* captioned(QWidget* parent, const char* name, const char* caption) {
    W* w = make<W>(parent, name, spoken(text(caption)));
    if constexpr (std::is_same_v<W, QGroupBox>)
        w->setTitle(text(caption));
    else
        w->setText(text(caption));
    return w;
}

const char* const kHints[] = {NewTexts::EncryptionOptionalHint, NewTexts::EncryptionMandatoryHint,
                              NewTexts::EncryptionStrictHint};
constexpr EncryptionSetting kSettingAt[] = {EncryptionSetting::Optional, EncryptionSetting::Mandatory,
                                            EncryptionSetting::Strict};

int indexOf(EncryptionSetting setting) {
    for (int i = 0; i < int(std::size(kSettingAt)); ++i)
        if (kSettingAt[i] == setting)
            return i;
    return 1;
}

} // namespace

OptionsPage::OptionsPage(CertificatePins& pins, QString optionsFile, QWidget* parent)
    : QWidget(parent), pins_(pins), optionsFile_(std::move(optionsFile)), options_(ProgramOptions::load(optionsFile_)) {
    setObjectName(QStringLiteral("OptionsPage"));
    setAccessibleName(text(NewTexts::OptionsPage));
    buildLayout();
    showOptions();
    refreshCertificates();
    refreshServers();

    connectGuarded(CmbEncryption, &QComboBox::activated, this, [this] { CmbEncryptionChange(); });
    connectGuarded(BtnForget, &QPushButton::clicked, this, [this] { BtnForgetClick(); });
    connectGuarded(LvCertificates, &QTreeWidget::itemSelectionChanged, this,
                   [this] { BtnForget->setEnabled(!LvCertificates->selectedItems().isEmpty()); });
    for (QCheckBox* box : {ChkShowProgress, ChkVerifyAfterBackup, ChkCopyOnly, ChkCompression})
        connectGuarded(box, &QCheckBox::clicked, this, [this] { backupOptionClick(); });
    connectGuarded(BtnForgetServer, &QPushButton::clicked, this, [this] { BtnForgetServerClick(); });
    connectGuarded(LsbServers, &QListWidget::itemSelectionChanged, this,
                   [this] { BtnForgetServer->setEnabled(!LsbServers->selectedItems().isEmpty()); });
}

void OptionsPage::buildLayout() {
    gbEncryption = captioned<QGroupBox>(this, "gbEncryption", NewTexts::EncryptionGroup);
    lblEncryption = captioned<QLabel>(gbEncryption, "lblEncryption", NewTexts::EncryptionLabel);
    CmbEncryption = make<QComboBox>(gbEncryption, "CmbEncryption",
                                    spoken(text(NewTexts::EncryptionLabel)).remove(QLatin1Char(':')));
    CmbEncryption->addItems(
        {text(NewTexts::EncryptionOptional), text(NewTexts::EncryptionMandatory), text(NewTexts::EncryptionStrict)});
    lblEncryption->setBuddy(CmbEncryption);
    lblEncryptionHint = make<QLabel>(gbEncryption, "lblEncryptionHint", QString());

    gbCertificates = captioned<QGroupBox>(this, "gbCertificates", NewTexts::CertificatesGroup);
    LvCertificates = make<QTreeWidget>(gbCertificates, "LvCertificates", text(NewTexts::CertificatesGroup));
    LvCertificates->setHeaderLabels(
        {text(NewTexts::CertificateServerColumn), text(NewTexts::CertificateFingerprintColumn)});
    LvCertificates->setRootIsDecorated(false);
    LvCertificates->setColumnWidth(0, 110);
    LvCertificates->header()->setStretchLastSection(true);
    LvCertificates->setSelectionMode(QAbstractItemView::SingleSelection);
    BtnForget = captioned<QPushButton>(gbCertificates, "BtnForget", NewTexts::ForgetCertificate);
    BtnForget->setEnabled(false);

    gbBackupOptions = captioned<QGroupBox>(this, "gbBackupOptions", NewTexts::BackupOptionsGroup);
    ChkShowProgress = captioned<QCheckBox>(gbBackupOptions, "ChkShowProgress", NewTexts::ShowProgress);
    ChkVerifyAfterBackup = captioned<QCheckBox>(gbBackupOptions, "ChkVerifyAfterBackup", NewTexts::VerifyAfterBackup);
    ChkCopyOnly = captioned<QCheckBox>(gbBackupOptions, "ChkCopyOnly", NewTexts::CopyOnly);
    ChkCompression = captioned<QCheckBox>(gbBackupOptions, "ChkCompression", NewTexts::Compression);
    gbServers = captioned<QGroupBox>(this, "gbServers", NewTexts::RememberedServersGroup);
    LsbServers = make<QListWidget>(gbServers, "LsbServers", text(NewTexts::RememberedServersGroup));
    LsbServers->setSelectionMode(QAbstractItemView::SingleSelection);
    // Two rows fit: long names are shortened in the middle and shown whole in their tooltip.
    LsbServers->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LsbServers->setTextElideMode(Qt::ElideMiddle);
    BtnForgetServer = captioned<QPushButton>(gbServers, "BtnForgetServer", NewTexts::ForgetServer);
    BtnForgetServer->setAccessibleName(text(NewTexts::ForgetServerSpoken));

    for (const OptionsLayout::Place& place : OptionsLayout::kPlaces) {
        auto* w = findChild<QWidget*>(QLatin1String(place.name));
        Q_ASSERT(w && w->parentWidget()->objectName() == QLatin1String(place.parent));
        w->setGeometry(place.left, place.top, place.width, place.height);
    }
    setMinimumSize(OptionsLayout::kPageWidth, OptionsLayout::kPageHeight);

    setTabOrder(CmbEncryption, LvCertificates);
    setTabOrder(LvCertificates, BtnForget);
    setTabOrder(BtnForget, ChkShowProgress);
    setTabOrder(ChkShowProgress, ChkVerifyAfterBackup);
    setTabOrder(ChkVerifyAfterBackup, ChkCopyOnly);
    setTabOrder(ChkCopyOnly, ChkCompression);
    setTabOrder(ChkCompression, LsbServers);
    setTabOrder(LsbServers, BtnForgetServer);
}

void OptionsPage::showOptions() {
    const int index = indexOf(options_.encryption);
    CmbEncryption->setCurrentIndex(index);
    lblEncryptionHint->setText(text(kHints[index]));
    ChkShowProgress->setChecked(options_.showProgress);
    ChkVerifyAfterBackup->setChecked(options_.verifyAfterBackup);
    ChkCopyOnly->setChecked(options_.copyOnly);
    ChkCompression->setChecked(options_.compression);
}

void OptionsPage::refreshCertificates() {
    LvCertificates->clear();
    for (const TrustedServer& entry : pins_.list()) {
        auto* item = new QTreeWidgetItem(LvCertificates); // owned by the list
        item->setText(0, entry.server);
        item->setText(1, entry.pinned ? entry.pinned->fingerprintText() : text(NewTexts::CertificateUnverifiedEntry));
        item->setToolTip(1, item->text(1));
    }
    BtnForget->setEnabled(false);
}

void OptionsPage::refreshServers() {
    LsbServers->clear();
    for (const RememberedServer& server : RecentServers().servers()) {
        auto* item = new QListWidgetItem(server.server, LsbServers); // owned by the list
        item->setToolTip(server.server);
    }
    BtnForgetServer->setEnabled(false);
}

// Another window may have remembered a server since the page was last seen.
void OptionsPage::showEvent(QShowEvent* event) {
    refreshServers();
    QWidget::showEvent(event);
}

void OptionsPage::BtnForgetServerClick() {
    const QList<QListWidgetItem*> selected = LsbServers->selectedItems();
    if (selected.isEmpty())
        return;
    const QString server = selected.first()->text();
    RecentServers recent;
    const bool forgotten = recent.forget(server);
    refreshServers();
    if (!forgotten)
        throw std::runtime_error(text(NewTexts::SettingsNotWritable).arg(RecentServers::defaultFile()).toStdString());
    emit serverForgotten(server);
}

void OptionsPage::CmbEncryptionChange() {
    const int index = CmbEncryption->currentIndex();
    if (index < 0 || index >= int(std::size(kSettingAt)))
        return;
    options_.encryption = kSettingAt[index];
    lblEncryptionHint->setText(text(kHints[index]));
    store();
}

void OptionsPage::backupOptionClick() {
    options_.showProgress = ChkShowProgress->isChecked();
    options_.verifyAfterBackup = ChkVerifyAfterBackup->isChecked();
    options_.copyOnly = ChkCopyOnly->isChecked();
    options_.compression = ChkCompression->isChecked();
    store();
}

void OptionsPage::BtnForgetClick() {
    const QList<QTreeWidgetItem*> selected = LvCertificates->selectedItems();
    if (selected.isEmpty())
        return;
    const QString server = selected.first()->text(0);
    const bool forgotten = pins_.forget(server);
    refreshCertificates();
    if (!forgotten)
        throw std::runtime_error(text(NewTexts::SettingsNotWritable).arg(pins_.filePath()).toStdString());
}

void OptionsPage::store() {
    emit optionsChanged(options_);
    if (!options_.save(optionsFile_))
        throw std::runtime_error(text(NewTexts::SettingsNotWritable).arg(optionsFile_).toStdString());
}
