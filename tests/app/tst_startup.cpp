// Start-up: the application title that captions the error display, Qt's Chinese standard
// buttons and the font substitutions for the Windows font names.

#include "AppLook.h"
#include "MessageBox.h"
#include "EventGuard.h"
#include "Startup.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPushButton>
#include <QtTest>

#include <stdexcept>

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { prepareApplication(*qApp); }

    void titleCaptionsTheErrorDisplay() {
        // Not Qt's display name: X11 would append it to every caption ("提示 — MS SQL SERVER ...").
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        QWidget window;
        ScopedMessageBoxRecorder boxes(&window);
        guarded(&window, [] { throw std::runtime_error("无法打开备份设备"); });
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().caption, QStringLiteral("MS SQL SERVER 数据库备份恢复工具(V1.0)"));
        QCOMPARE(boxes.shown().first().text, QStringLiteral("无法打开备份设备."));
    }

    void standardButtonsReadChinese_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("OK") << int(QDialogButtonBox::Ok) << QStringLiteral("确定");
        QTest::newRow("Yes") << int(QDialogButtonBox::Yes) << QStringLiteral("是");
        QTest::newRow("No") << int(QDialogButtonBox::No) << QStringLiteral("否");
    }
    void standardButtonsReadChinese() {
        QFETCH(int, button);
        QFETCH(QString, text);
        QDialogButtonBox box{QDialogButtonBox::StandardButtons(button)};
        QPushButton* b = box.button(QDialogButtonBox::StandardButton(button));
        QVERIFY(b);
        // The mnemonic marker, where the translation has one, is not part of the word.
        QCOMPARE(b->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)|&"))), text);
    }

    void windowsFontNamesFindInstalledFamilies_data() {
        QTest::addColumn<QString>("family");
        QTest::newRow("heiti") << QStringLiteral("黑体");
        QTest::newRow("songti") << QStringLiteral("宋体");
        QTest::newRow("MS Sans Serif") << QStringLiteral("MS Sans Serif");
    }
    void windowsFontNamesFindInstalledFamilies() {
        QFETCH(QString, family);
        const QStringList substitutes = QFont::substitutes(family);
        QVERIFY(!substitutes.isEmpty());
        const QStringList installed = QFontDatabase::families();
        bool any = false;
        for (const QString& s : substitutes)
            any = any || installed.contains(s);
        if (!any)
            QSKIP("none of the substitute fonts is installed here (scripts/setup-deps installs them)");
        // The font actually chosen is one of the substitutes, never an unrelated default.
        const QFontInfo chosen(AppLook::font(family, 12));
        QVERIFY2(substitutes.contains(chosen.family()), qPrintable(chosen.family()));
        QCOMPARE(chosen.pixelSize(), 12);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
