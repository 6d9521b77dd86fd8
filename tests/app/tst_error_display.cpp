// The default error display: its text rule, and that a failing handler shows one box and the
// program goes on.

#include "EventGuard.h"
#include "MessageBox.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

#include <stdexcept>

class TestErrorDisplay : public QObject {
    Q_OBJECT
private slots:
    void appendsAFullStopOnlyAfterCharactersThatSortAfterIt_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Access denied" << "Access denied.";
        QTest::newRow("digit") << "Error 42" << "Error 42.";
        QTest::newRow("chinese") << "无法连接" << "无法连接.";
        QTest::newRow("full stop kept") << "Done." << "Done.";
        QTest::newRow("exclamation kept") << "失败!" << "失败!";
        QTest::newRow("blank kept") << "trailing " << "trailing ";
        QTest::newRow("closing parenthesis sorts before") << "(x)" << "(x)";
        QTest::newRow("closing quote sorts before") << "name 'x'" << "name 'x'";
        QTest::newRow("slash sorts after") << "a/" << "a/.";
        QTest::newRow("empty") << "" << "";
    }
    void appendsAFullStopOnlyAfterCharactersThatSortAfterIt() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(defaultErrorText(message), shown);
    }

    void failingHandlerShowsOneErrorBoxUnderTheTitle() {
        QPushButton button;
        ScopedMessageBoxRecorder boxes(&button);
        int runs = 0;
        connectGuarded(&button, &QPushButton::clicked, &button, [&] {
            ++runs;
            throw std::runtime_error("Cannot open backup device");
        });
        button.click();
        button.click(); // the program goes on: the handler runs again
        QCOMPARE(runs, 2);
        QCOMPARE(boxes.shown().size(), 2);
        const MessageBox::Shown box = boxes.shown().first();
        QCOMPARE(box.text, QStringLiteral("Cannot open backup device."));
        QCOMPARE(box.caption, QStringLiteral("MS SQL SERVER 数据库备份恢复工具(V1.0)"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void silentAbortShowsNothing() {
        QWidget window;
        ScopedMessageBoxRecorder boxes(&window);
        guarded(&window, [] { throw EAbort(); });
        QVERIFY(boxes.shown().isEmpty());
    }

    void fixedFormsHaveTheirCaptionsAndButtons() {
        QWidget window;
        ScopedMessageBoxRecorder boxes(&window, QMessageBox::No);
        MessageBox::information(&window, "a");
        MessageBox::warning(&window, "b");
        QVERIFY(!MessageBox::question(&window, "c"));
        boxes.queueAnswer(QMessageBox::Yes);
        QVERIFY(MessageBox::question(&window, "d"));
        QCOMPARE(boxes.shown().size(), 4);
        QCOMPARE(boxes.shown()[0].caption, QStringLiteral("提示"));
        QCOMPARE(boxes.shown()[0].icon, QMessageBox::Information);
        QCOMPARE(boxes.shown()[1].caption, QStringLiteral("警告"));
        QCOMPARE(boxes.shown()[1].icon, QMessageBox::Information);
        QCOMPARE(boxes.shown()[2].caption, QStringLiteral("问题"));
        QCOMPARE(boxes.shown()[2].icon, QMessageBox::Question);
        QCOMPARE(boxes.shown()[2].buttons, QMessageBox::Yes | QMessageBox::No);
    }

    // A path or a server message that happens to start with an HTML tag is shown as written.
    void realBoxShowsItsTextAsPlainText() {
        const QString text = QStringLiteral("【<b>D:\\Data\\x.mdf</b>】移至物理文件名的父级目录不存在，请核对!");
        bool seen = false;
        Qt::TextFormat format = Qt::AutoText;
        QString shownText;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = true;
            format = box->textFormat();
            shownText = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(10);
        MessageBox::warning(nullptr, text);
        QVERIFY(seen);
        QCOMPARE(shownText, text);
        QCOMPARE(format, Qt::PlainText);
    }
};

QTEST_MAIN(TestErrorDisplay)
#include "tst_error_display.moc"
