#pragma once
// A flat push button that draws itself: a one-colour face with a thin border that lights up in
// 3D under the mouse or with the focus, sinks when pressed, and shows an optional glyph strip and
// caption. It can act as a toggle in a group of buttons sharing a GroupIndex.

#include "TColor.h"

#include <QImage>
#include <QWidget>

#include <functional>

enum TTransparentMode { tmAlways, tmNotFocused, tmNone };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

class TFlatButton : public QWidget {
    Q_OBJECT
public:
    explicit TFlatButton(QWidget* parent = nullptr);
    ~TFlatButton() override;

    // Appearance: every setter stores the value and repaints.
    TColor Color() const;
    void setColor(TColor color); // also turns ParentColor off
    bool ParentColor() const { return parentColor_; }
    void setParentColor(bool on);
    TColor ColorFocused() const { return colorFocused_; }
    void setColorFocused(TColor c) { setAppearance(colorFocused_, c); }
    TColor ColorDown() const { return colorDown_; }
    void setColorDown(TColor c) { setAppearance(colorDown_, c); }
    TColor ColorBorder() const { return colorBorder_; }
    void setColorBorder(TColor c) { setAppearance(colorBorder_, c); }
    TColor ColorHighLight() const { return colorHighLight_; }
    void setColorHighLight(TColor c) { setAppearance(colorHighLight_, c); }
    TColor ColorShadow() const { return colorShadow_; }
    void setColorShadow(TColor c) { setAppearance(colorShadow_, c); }
    bool UseAdvColors() const { return useAdvColors_; }
    void setUseAdvColors(bool on);
    int AdvColorFocused() const { return advFocused_; }
    void setAdvColorFocused(int amount);
    int AdvColorDown() const { return advDown_; }
    void setAdvColorDown(int amount);
    int AdvColorBorder() const { return advBorder_; }
    void setAdvColorBorder(int amount);
    TTransparentMode TransparentMode() const { return transparentMode_; }
    void setTransparentMode(TTransparentMode mode) { setAppearance(transparentMode_, mode); }
    QImage Glyph() const { return glyph_; }
    void setGlyph(const QImage& glyph); // also sets NumGlyphs from the strip's shape
    int NumGlyphs() const { return numGlyphs_; }
    void setNumGlyphs(int count);
    TButtonLayout Layout() const { return layout_; }
    void setLayout(TButtonLayout layout) { setAppearance(layout_, layout); }
    int Margin() const { return margin_; }
    void setMargin(int margin);
    int Spacing() const { return spacing_; }
    void setSpacing(int spacing) { setAppearance(spacing_, spacing); }
    QString Caption() const { return caption_; }
    void setCaption(const QString& caption);
    bool Default() const { return default_; }
    void setDefault(bool on) { setAppearance(default_, on); }

    // Toggle behaviour.
    int GroupIndex() const { return groupIndex_; }
    void setGroupIndex(int index);
    bool Down() const { return down_; }
    void setDown(bool down);
    bool AllowAllUp() const { return allowAllUp_; }
    void setAllowAllUp(bool on);
    int ModalResult() const { return modalResult_; }
    void setModalResult(int result) { modalResult_ = result; }

    TButtonState State() const { return state_; }
    bool MouseInControl() const { return mouseIn_; }

    // Where the glyph and caption were placed by the last layout.
    QPoint GlyphPosition() const { return glyphPos_; }
    QRect CaptionRect() const { return captionRect_; }

    // Events, called with the sender first.
    std::function<void(QObject* Sender)> OnClick;
    std::function<void(QObject* Sender)> OnDblClick;
    std::function<void(QObject* Sender)> OnMouseEnter;
    std::function<void(QObject* Sender)> OnMouseLeave;

    // The disabled rendering of one image: black pixels embossed on the button face.
    static QImage disabledRendering(const QImage& image, const QPalette& palette);
    // Every live button shares one 100 ms timer; null when there is no button.
    static QObject* sharedTimer();

    // Ends the hover when the pointer is no longer over this button (the shared timer's check).
    void checkHover();

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    template <typename T>
    void setAppearance(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        update();
    }
    void fixState();
    void calcLayout(QPoint offset);
    void drawFace(QPainter& p) const;
    void drawBorder(QPainter& p) const;
    void drawGlyph(QPainter& p) const;
    void drawCaption(QPainter& p) const;
    QColor resolve(TColor c) const;
    bool isInside(const QPoint& pos) const;
    void startHover();
    void endHover();
    void runClick();
    void deriveColors();
    void updateShortcut();

    TColor color_ = clBtnFace;
    bool parentColor_ = true;
    TColor colorFocused_ = 14805739;
    TColor colorDown_ = 12965593;
    TColor colorBorder_ = 8623776;
    TColor colorHighLight_ = clWhite;
    TColor colorShadow_ = clBlack;
    bool useAdvColors_ = false;
    int advFocused_ = 10;
    int advDown_ = 10;
    int advBorder_ = 50;
    TTransparentMode transparentMode_ = tmNone;
    QImage glyph_;
    int numGlyphs_ = 1;
    TButtonLayout layout_ = blGlyphTop;
    int margin_ = -1;
    int spacing_ = 4;
    QString caption_;
    bool default_ = false;
    int groupIndex_ = 0;
    bool down_ = false;
    bool allowAllUp_ = false;
    int modalResult_ = 0;

    TButtonState state_ = bsUp;
    bool mouseIn_ = false;
    bool dragging_ = false;
    QPoint glyphPos_;
    QRect captionRect_;
    int shortcutId_ = 0;
};
