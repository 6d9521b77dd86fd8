// The flat button as a user meets it: its look in each state (checked on the grabbed pixels),
// what counts as a click, glyph strips, the disabled rendering, groups and the shared hover timer.

#include "PickerButton.h"
#include "TFlatButtonUnit.h"

#include <QtTest>

#include <memory>

namespace {

// A page in the button-face colour with the program's picker button on it.
struct Page {
    QWidget page;
    TFlatButton* button;
    Page() : button(new TFlatButton(&page)) {
        page.resize(60, 60);
        page.setAutoFillBackground(true);
        page.setBackgroundRole(QPalette::Button);
        setupPickerButton(button);
        button->move(20, 20);
        page.show();
    }
    QImage look() { return button->grab().toImage(); }
    QColor face() const { return ColorToQColor(clBtnFace, page.palette()); }
};


} // namespace

class TestFlatButton : public QObject {
    Q_OBJECT
private slots:
    void idlePickerShowsOnlyTheGlyph() {
        Page p;
        QVERIFY(QTest::qWaitForWindowExposed(&p.page));
        const QImage img = p.look();
        // Border and face in the page colour; the glyph at (1, 2).
        QCOMPARE(img.pixelColor(0, 0), p.face());
        QCOMPARE(img.pixelColor(17, 18), p.face());
        QCOMPARE(p.button->GlyphPosition(), QPoint(1, 2));
        // White, the glyph's bottom-left colour, is left out: the glyph's corner shows the face.
        QCOMPARE(img.pixelColor(1, 2), p.face());
        QVERIFY(img.pixelColor(1 + 8, 2 + 5) != p.face()); // the crown
    }

    void hoverLightsTheTopAndLeftEdge() {
        Page p;
        QVERIFY(QTest::qWaitForWindowExposed(&p.page));
        QTest::mouseMove(p.button, QPoint(9, 9));
        QTRY_VERIFY(p.button->MouseInControl());
        const QImage img = p.look();
        QCOMPARE(img.pixelColor(5, 0), QColor(Qt::white));
        QCOMPARE(img.pixelColor(0, 5), QColor(Qt::white));
        QCOMPARE(img.pixelColor(17, 5), p.face()); // dark side is the page colour here
    }

    void pressSinksAndShiftsTheGlyph() {
        Page p;
        QVERIFY(QTest::qWaitForWindowExposed(&p.page));
        QTest::mousePress(p.button, Qt::LeftButton, {}, QPoint(9, 9));
        QCOMPARE(p.button->State(), bsDown);
        const QImage img = p.look();
        QCOMPARE(p.button->GlyphPosition(), QPoint(2, 3));
        QCOMPARE(img.pixelColor(17, 5), QColor(Qt::white));
        QCOMPARE(img.pixelColor(5, 18), QColor(Qt::white));
        QTest::mouseRelease(p.button, Qt::LeftButton, {}, QPoint(9, 9));
    }

    void whatCountsAsAClick_data() {
        QTest::addColumn<QPoint>("release");
        QTest::addColumn<int>("expected");
        QTest::newRow("inside") << QPoint(9, 9) << 1;
        QTest::newRow("one pixel below the bottom edge") << QPoint(9, 19) << 1;
        QTest::newRow("two pixels below") << QPoint(9, 20) << 0;
        QTest::newRow("dragged off to the right") << QPoint(18, 9) << 0;
        QTest::newRow("dragged off to the left") << QPoint(-1, 9) << 0;
    }
    void whatCountsAsAClick() {
        QFETCH(QPoint, release);
        QFETCH(int, expected);
        Page p;
        QVERIFY(QTest::qWaitForWindowExposed(&p.page));
        int count = 0;
        p.button->OnClick = [&](QObject* sender) {
            QCOMPARE(sender, p.button);
            ++count;
        };
        QTest::mousePress(p.button, Qt::LeftButton, {}, QPoint(9, 9));
        QTest::mouseMove(p.button, release);
        QTest::mouseRelease(p.button, Qt::LeftButton, {}, release);
        QCOMPARE(count, expected);
        QCOMPARE(p.button->State(), bsUp);
    }

    void spaceAndAcceleratorClick() {
        Page p;
        p.button->setCaption("&Go");
        QVERIFY(QTest::qWaitForWindowExposed(&p.page));
        int count = 0;
        connect(p.button, &TFlatButton::clicked, this, [&] { ++count; });
        p.button->setFocus();
        QTest::keyPress(p.button, Qt::Key_Space);
        QCOMPARE(p.button->State(), bsDown);
        QTest::keyRelease(p.button, Qt::Key_Space);
        QCOMPARE(count, 1);
        QTest::keyClick(&p.page, Qt::Key_G, Qt::AltModifier);
        QCOMPARE(count, 2);
        QTest::keyClick(p.button, Qt::Key_Return); // other keys do nothing
        QCOMPARE(count, 2);
    }

    void glyphStripCountsItsImages_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("images");
        QTest::newRow("64 x 16") << QSize(64, 16) << 4;
        QTest::newRow("80 x 16") << QSize(80, 16) << 1;
        QTest::newRow("32 x 16") << QSize(32, 16) << 2;
        QTest::newRow("16 x 16") << QSize(16, 16) << 1;
    }
    void glyphStripCountsItsImages() {
        QFETCH(QSize, size);
        QFETCH(int, images);
        TFlatButton b;
        QImage glyph(size, QImage::Format_ARGB32);
        glyph.fill(Qt::red);
        b.setGlyph(glyph);
        QCOMPARE(b.NumGlyphs(), images);
    }

    void disabledRenderingEmbossesBlackPixelsOnly() {
        QPalette palette;
        QImage glyph(4, 4, QImage::Format_ARGB32);
        glyph.fill(Qt::white);
        glyph.setPixel(1, 1, qRgb(0, 0, 0));
        const QImage r = TFlatButton::disabledRendering(glyph, palette);
        QCOMPARE(r.pixel(1, 1), ColorToQColor(clBtnShadow, palette).rgb());
        QCOMPARE(r.pixel(2, 2), ColorToQColor(clBtnHighlight, palette).rgb());
        QCOMPARE(r.pixel(3, 0), ColorToQColor(clBtnFace, palette).rgb());
        // The tree has no pure black pixel: a plain face-coloured square.
        const QImage tree = TFlatButton::disabledRendering(treeGlyph(), palette);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                QCOMPARE(tree.pixel(x, y), ColorToQColor(clBtnFace, palette).rgb());
    }

    void disabledButtonDrawsTheRenderingAndTakesNoClick() {
        Page p;
        QVERIFY(QTest::qWaitForWindowExposed(&p.page));
        int count = 0;
        p.button->OnClick = [&](QObject*) { ++count; };
        p.button->setEnabled(false);
        QTest::mouseClick(p.button, Qt::LeftButton, {}, QPoint(9, 9));
        QCOMPARE(count, 0);
        QCOMPARE(p.button->State(), bsDisabled);
        const QImage img = p.look();
        QCOMPARE(img.pixelColor(1 + 8, 2 + 5), p.face()); // the crown is gone
    }

    void groupTogglesOneButtonAtATime() {
        QWidget parent;
        TFlatButton a(&parent), b(&parent);
        a.setGroupIndex(1);
        b.setGroupIndex(1);
        a.setDown(true);
        QVERIFY(a.Down());
        b.setDown(true);
        QVERIFY(b.Down());
        QVERIFY(!a.Down());
        b.setDown(false); // AllowAllUp off: stays down
        QVERIFY(b.Down());
        b.setAllowAllUp(true);
        b.setDown(false);
        QVERIFY(!b.Down());
        QVERIFY(a.AllowAllUp()); // the group shares AllowAllUp

        TFlatButton loose(&parent);
        loose.setDown(true); // outside a group Down is always false
        QVERIFY(!loose.Down());
    }

    void sharedTimerLivesWithTheButtonsAndEndsHover() {
        QVERIFY(!TFlatButton::sharedTimer());
        {
            Page p;
            QVERIFY(TFlatButton::sharedTimer());
            auto second = std::make_unique<TFlatButton>(&p.page);
            QObject* timer = TFlatButton::sharedTimer();
            second.reset();
            QCOMPARE(TFlatButton::sharedTimer(), timer); // still one button left
            QVERIFY(QTest::qWaitForWindowExposed(&p.page));
            QTest::mouseMove(p.button, QPoint(9, 9));
            QTRY_VERIFY(p.button->MouseInControl());
            QTest::mouseMove(&p.page, QPoint(2, 2)); // the pointer leaves
            QTRY_VERIFY_WITH_TIMEOUT(!p.button->MouseInControl(), 2000);
        }
        QVERIFY(!TFlatButton::sharedTimer());
    }

    void advancedColoursDeriveFromTheFace() {
        TFlatButton b;
        b.setColor(0x808080);
        b.setUseAdvColors(true);
        const QColor base(0x80, 0x80, 0x80);
        QVERIFY(ColorToQColor(b.ColorFocused(), b.palette()).lightness() > base.lightness());
        QVERIFY(ColorToQColor(b.ColorDown(), b.palette()).lightness() < base.lightness() + 12);
        QVERIFY(ColorToQColor(b.ColorBorder(), b.palette()).lightness() < base.lightness());
    }
};

QTEST_MAIN(TestFlatButton)
#include "tst_flatbutton.moc"
