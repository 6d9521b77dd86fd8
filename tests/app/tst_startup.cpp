// Start-up: the application title that captions the error display, Qt's Chinese standard
// buttons, the font substitutions for the Windows font names, and that with those fonts no
// fixed caption of the window or the pickers is cut off.

#include "AppLook.h"
#include "MessageBox.h"
#include "EventGuard.h"
#include "Startup.h"
#include "UntMain.h"
#include "UntSelFile.h"
#include "UntSelPath.h"
#include "WindowDriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyleOptionButton>
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

    // Every caption that the window or a picker shows in a fixed width, measured in the font
    // it is drawn with: a label's text within its width, a button's text within the room its
    // frame leaves, a check or radio box's indicator and text within its width.
    void everyFixedCaptionFits() {
        TFrmMain window(WindowDriver::quietSetup());
        window.createPickers();
        QList<QWidget*> controls = window.findChildren<QWidget*>();
        for (QWidget* picker : {static_cast<QWidget*>(window.FrmSelPath), static_cast<QWidget*>(window.FrmSelFile)})
            controls += picker->findChildren<QWidget*>();
        int measured = 0;
        const auto check = [&](QWidget* w) {
            const QString name = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
            if (w == window.lblDbInfo) // its width follows its text
                return;
            int text = 0;
            int room = w->width();
            if (auto* l = qobject_cast<QLabel*>(w)) {
                text = l->fontMetrics().horizontalAdvance(l->text());
            } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
                text = c->sizeHint().width();
            } else if (auto* r = qobject_cast<QRadioButton*>(w)) {
                text = r->sizeHint().width();
            } else if (auto* b = qobject_cast<QPushButton*>(w)) {
                text = b->fontMetrics().horizontalAdvance(QString(b->text()).remove(u'&'));
                room -= 2 * b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b);
            } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
                text = g->fontMetrics().horizontalAdvance(g->title());
            }
            if (text == 0)
                return;
            ++measured;
            QVERIFY2(text <= room, qPrintable(QStringLiteral("%1: %2 px of text in %3 px").arg(name).arg(text).arg(room)));
        };
        for (QWidget* w : controls)
            check(w);
        // The contact line and the download notice take turns in the same label.
        window.timer1Timer();
        check(window.lbllink);
        QVERIFY(measured > 30);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
