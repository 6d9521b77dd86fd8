// The options page: its fixed layout inside the page control, the encryption setting and the
// trusted certificates as the user changes them, and what is kept between runs.
#include "CertificatePins.h"
#include "MessageBox.h"
#include "NewTexts.h"
#include "OptionsLayout.h"
#include "OptionsPage.h"
#include "TestCertificates.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

Q_DECLARE_METATYPE(EncryptionSetting)

namespace {

CertificateInfo makeCertificate() {
    TestKeyPair key;
    return *CertificateReader::fromDer(TestCertificates::make(key, {}));
}

void chooseInCombo(QComboBox* combo, int index) {
    // Through the keyboard, as a user does, so that the page sees a user's choice.
    combo->setFocus();
    const int steps = index - combo->currentIndex();
    for (int i = 0; i < std::abs(steps); ++i)
        QTest::keyClick(combo, steps > 0 ? Qt::Key_Down : Qt::Key_Up);
}

} // namespace

class TestOptionsPage : public QObject {
    Q_OBJECT

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        pins_ = std::make_unique<CertificatePins>(dir_->filePath(QStringLiteral("certificates.ini")));
    }

    void everyControlIsNamedAndFitsThePageArea() {
        // The page control of the main window, at its fixed size, with the two seed pages' place.
        QTabWidget pages;
        pages.setGeometry(0, 0, 439, 222);
        pages.addTab(new QWidget, QStringLiteral("数据库备份"));
        auto* page = new OptionsPage(*pins_, optionsFile());
        pages.addTab(page, NewTexts::text(NewTexts::OptionsPage));
        pages.setCurrentWidget(page);
        pages.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pages));

        for (const OptionsLayout::Place& place : OptionsLayout::kPlaces) {
            auto* w = page->findChild<QWidget*>(QLatin1String(place.name));
            QVERIFY2(w, place.name);
            QCOMPARE(w->geometry(), QRect(place.left, place.top, place.width, place.height));
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(face && !face->text(QAccessible::Name).isEmpty(), place.name);
            // Inside its parent, and clear of its siblings.
            QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), place.name);
            for (const OptionsLayout::Place& other : OptionsLayout::kPlaces) {
                if (&other == &place || qstrcmp(other.parent, place.parent) != 0)
                    continue;
                QVERIFY2(
                    !QRect(other.left, other.top, other.width, other.height).intersects(w->geometry()),
                    qPrintable(
                        QStringLiteral("%1 overlaps %2").arg(QLatin1String(place.name), QLatin1String(other.name))));
            }
        }
        // The page control gives the page at least the room the table plans for.
        QVERIFY2(page->width() >= OptionsLayout::kPageWidth && page->height() >= OptionsLayout::kPageHeight,
                 qPrintable(QStringLiteral("%1 x %2").arg(page->width()).arg(page->height())));
    }

    void encryptionSettingIsKeptBetweenRuns_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<QString>("hint");
        QTest::newRow("可选") << 0 << EncryptionSetting::Optional << NewTexts::text(NewTexts::EncryptionOptionalHint);
        QTest::newRow("严格") << 2 << EncryptionSetting::Strict << NewTexts::text(NewTexts::EncryptionStrictHint);
    }

    void encryptionSettingIsKeptBetweenRuns() {
        QFETCH(int, index);
        QFETCH(EncryptionSetting, setting);
        QFETCH(QString, hint);
        {
            OptionsPage page(*pins_, optionsFile());
            QCOMPARE(page.CmbEncryption->currentText(), NewTexts::text(NewTexts::EncryptionMandatory)); // the default
            page.show();
            QVERIFY(QTest::qWaitForWindowExposed(&page));
            chooseInCombo(page.CmbEncryption, index);
            QCOMPARE(page.options().encryption, setting);
            QCOMPARE(page.lblEncryptionHint->text(), hint);
        }
        const OptionsPage again(*pins_, optionsFile());
        QCOMPARE(again.CmbEncryption->currentIndex(), index);
        QCOMPARE(again.options().encryption, setting);
        QCOMPARE(again.lblEncryptionHint->text(), hint);
    }

    void unreadableSettingsFallBackToTheDefaults() {
        QFile file(optionsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[connection]\nencryption=paranoid\n[backup]\ncopyOnly=perhaps\n");
        file.close();
        QCOMPARE(ProgramOptions::load(optionsFile()), ProgramOptions());
    }

    void backupOptionsStartOffAndAreAllOffered() {
        const OptionsPage page(*pins_, optionsFile());
        for (QCheckBox* box : {page.ChkShowProgress, page.ChkVerifyAfterBackup, page.ChkCopyOnly, page.ChkCompression}) {
            QVERIFY(box->isEnabled());
            QVERIFY(!box->isChecked());
        }
        QCOMPARE(page.gbServers->title(), NewTexts::text(NewTexts::RememberedServersGroup));
    }

    void trustedServersAreListedAndForgotten() {
        const CertificateInfo certificate = makeCertificate();
        QVERIFY(pins_->pin(QStringLiteral("db01"), certificate));
        QVERIFY(pins_->allowUnverified(QStringLiteral("db02\\OLD")));
        OptionsPage page(*pins_, optionsFile());
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));

        QTreeWidget* list = page.LvCertificates;
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("db01"));
        QCOMPARE(list->topLevelItem(0)->text(1), certificate.fingerprintText());
        QCOMPARE(list->topLevelItem(1)->text(1), NewTexts::text(NewTexts::CertificateUnverifiedEntry));
        QVERIFY(!page.BtnForget->isEnabled());

        const QRect row = list->visualItemRect(list->topLevelItem(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QVERIFY(page.BtnForget->isEnabled());
        QTest::mouseClick(page.BtnForget, Qt::LeftButton);

        QVERIFY(!CertificatePins(pins_->filePath()).lookup(QStringLiteral("db01")));
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("db02\\OLD"));
        QVERIFY(!page.BtnForget->isEnabled());
    }

    void settingsThatCannotBeSavedAreReported() {
        QFile blocker(dir_->filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString unwritable = blocker.fileName() + QStringLiteral("/options.ini");
        OptionsPage page(*pins_, unwritable);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        ScopedMessageBoxRecorder boxes(&page);
        chooseInCombo(page.CmbEncryption, 0);
        QCOMPARE(boxes.shown().size(), 1);
        QVERIFY(boxes.shown().first().text.contains(unwritable));
        QCOMPARE(boxes.shown().first().icon, QMessageBox::Critical);
    }

private:
    QString optionsFile() const { return dir_->filePath(QStringLiteral("options.ini")); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<CertificatePins> pins_;
};

QTEST_MAIN(TestOptionsPage)
#include "tst_options_page.moc"
