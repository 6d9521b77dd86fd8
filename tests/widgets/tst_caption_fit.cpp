// Narrowing a caption that does not fit: the widest stretch that fits, never one that cuts it off
// and never narrower than needed.
#include "CaptionFit.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>


class TestCaptionFit : public QObject {
    Q_OBJECT
private slots:
    void choosesTheWidestStretchThatFits_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("percentOfNeeded"); // the control's width against the caption's own
        for (const char* kind : {"label", "button", "check"})
            for (int percent : {99, 96, 92, 88, 84, 80})
                QTest::addRow("%s %d%%", kind, percent) << QString::fromLatin1(kind) << percent;
    }
    void choosesTheWidestStretchThatFits() {
        QFETCH(QString, kind);
        QFETCH(int, percentOfNeeded);
        QWidget window;
        const QString caption = QStringLiteral("Backup every database 备份所有数据库");
        QWidget* control = nullptr;
        if (kind == QLatin1String("label"))
            control = new QLabel(caption, &window);
        else if (kind == QLatin1String("button"))
            control = new QPushButton(caption, &window);
        else
            control = new QCheckBox(caption, &window);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        control->setFont(font);
        control->resize(control->sizeHint().width() * 2, control->sizeHint().height());
        while (CaptionFit::fits(control)) // the caption's own width, give or take a pixel
            control->resize(control->width() - 1, control->height());
        control->resize(control->width() * percentOfNeeded / 100, control->height());

        CaptionFit::fitCaption(control);

        const int chosen = control->font().stretch();
        QVERIFY2(chosen >= 75 && chosen <= 99, qPrintable(QString::number(chosen)));
        if (!CaptionFit::fits(control)) { // only when even the narrowest stretch cannot hold it
            QCOMPARE(chosen, 75);
            return;
        }
        if (chosen < 99) {
            QFont wider = control->font();
            wider.setStretch(chosen + 1);
            control->setFont(wider);
            QVERIFY2(!CaptionFit::fits(control), qPrintable(QStringLiteral("%1 fits too").arg(chosen + 1)));
        }
    }

    void aCaptionTooLongForAnyStretchEndsAtTheNarrowest() {
        QLabel label(QStringLiteral("a caption far too long for its little box"));
        label.resize(20, 16);
        CaptionFit::fitCaption(&label);
        QCOMPARE(label.font().stretch(), 75);
    }

    void aFittingCaptionKeepsItsFont() {
        QLabel label(QStringLiteral("short"));
        label.resize(300, 16);
        const QFont before = label.font();
        CaptionFit::fitCaption(&label);
        QCOMPARE(label.font(), before);
    }
};

QTEST_MAIN(TestCaptionFit)
#include "tst_caption_fit.moc"
