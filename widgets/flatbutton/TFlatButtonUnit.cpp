#include "TFlatButtonUnit.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcutEvent>
#include <QTimer>

#include <memory>

namespace {

// The one hover timer all buttons share, and the button whose hover it tracks.
struct HoverTracking {
    std::unique_ptr<QTimer> timer;
    QPointer<TFlatButton> tracked;
    int buttons = 0;
};

HoverTracking& hover() {
    static HoverTracking tracking;
    return tracking;
}

int divToZero(int a, int b) { return a / b; } // C++ division already rounds toward zero

QColor shiftLightness(const QColor& base, int amount, bool lighter) {
    // Lightness on a 0..240 scale, raised by 10 first, then moved by the amount.
    int h = 0, s = 0, l = 0;
    base.getHsl(&h, &s, &l);
    int l240 = l * 240 / 255 + 10;
    amount = std::clamp(amount, 0, 100);
    l240 = lighter ? std::min(l240 + amount, 240) : std::max(l240 - amount, 0);
    return QColor::fromHsl(h, s, l240 * 255 / 240);
}

} // namespace

TFlatButton::TFlatButton(QWidget* parent) : QWidget(parent) {
    resize(25, 25);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus); // TabStop off
    HoverTracking& h = hover();
    if (h.buttons++ == 0) {
        h.timer = std::make_unique<QTimer>();
        h.timer->setInterval(100);
        QObject::connect(h.timer.get(), &QTimer::timeout, [] {
            if (hover().tracked)
                hover().tracked->checkHover();
            else
                hover().timer->stop();
        });
    }
}

TFlatButton::~TFlatButton() {
    HoverTracking& h = hover();
    if (h.tracked == this)
        h.tracked = nullptr;
    if (--h.buttons == 0)
        h.timer.reset();
}

QObject* TFlatButton::sharedTimer() { return hover().timer.get(); }

TColor TFlatButton::Color() const {
    if (parentColor_ && parentWidget())
        return QColorToTColor(parentWidget()->palette().color(parentWidget()->backgroundRole()));
    return color_;
}

void TFlatButton::setColor(TColor color) {
    parentColor_ = false;
    color_ = color;
    if (useAdvColors_)
        deriveColors();
    update();
}

void TFlatButton::setParentColor(bool on) { setAppearance(parentColor_, on); }

void TFlatButton::setUseAdvColors(bool on) {
    useAdvColors_ = on;
    if (on)
        deriveColors();
    update();
}

void TFlatButton::setAdvColorFocused(int amount) {
    advFocused_ = std::clamp(amount, 0, 100);
    if (useAdvColors_)
        deriveColors();
    update();
}

void TFlatButton::setAdvColorDown(int amount) {
    advDown_ = std::clamp(amount, 0, 100);
    if (useAdvColors_)
        deriveColors();
    update();
}

void TFlatButton::setAdvColorBorder(int amount) {
    advBorder_ = std::clamp(amount, 0, 100);
    if (useAdvColors_)
        deriveColors();
    update();
}

void TFlatButton::deriveColors() {
    const QColor base = resolve(Color());
    if (advFocused_ > 0)
        colorFocused_ = QColorToTColor(shiftLightness(base, advFocused_, true));
    if (advDown_ > 0)
        colorDown_ = QColorToTColor(shiftLightness(base, advDown_, false));
    if (advBorder_ > 0)
        colorBorder_ = QColorToTColor(shiftLightness(base, advBorder_, false));
}

void TFlatButton::setGlyph(const QImage& glyph) {
    glyph_ = glyph.convertToFormat(QImage::Format_ARGB32);
    if (!glyph_.isNull() && glyph_.height() > 0 && glyph_.width() % glyph_.height() == 0) {
        const int count = glyph_.width() / glyph_.height();
        numGlyphs_ = count > 4 ? 1 : std::max(count, 1);
    }
    update();
}

void TFlatButton::setNumGlyphs(int count) { setAppearance(numGlyphs_, std::clamp(count, 1, 4)); }

void TFlatButton::setMargin(int margin) {
    if (margin >= -1)
        setAppearance(margin_, margin);
}

void TFlatButton::setCaption(const QString& caption) {
    setAppearance(caption_, caption);
    updateShortcut();
}

void TFlatButton::updateShortcut() {
    if (shortcutId_ != 0)
        releaseShortcut(shortcutId_);
    shortcutId_ = 0;
    const QKeySequence mnemonic = QKeySequence::mnemonic(caption_);
    if (!mnemonic.isEmpty())
        shortcutId_ = grabShortcut(mnemonic);
}

void TFlatButton::setGroupIndex(int index) {
    groupIndex_ = index;
    if (groupIndex_ == 0)
        setDown(false);
    update();
}

void TFlatButton::setDown(bool down) {
    if (groupIndex_ == 0)
        down = false; // only a grouped button stays down
    if (down == down_)
        return;
    if (down_ && !allowAllUp_)
        return; // the down button of a group without all-up stays down
    down_ = down;
    if (down) {
        if (state_ == bsUp)
            update();
        state_ = bsExclusive;
        if (parentWidget()) {
            for (TFlatButton* sibling : parentWidget()->findChildren<TFlatButton*>(Qt::FindDirectChildrenOnly)) {
                if (sibling != this && sibling->groupIndex_ == groupIndex_ && sibling->down_) {
                    sibling->down_ = false;
                    sibling->allowAllUp_ = allowAllUp_;
                    sibling->state_ = bsUp;
                    sibling->update();
                }
            }
        }
    } else {
        state_ = bsUp;
    }
    update();
}

void TFlatButton::setAllowAllUp(bool on) {
    allowAllUp_ = on;
    if (parentWidget()) {
        for (TFlatButton* sibling : parentWidget()->findChildren<TFlatButton*>(Qt::FindDirectChildrenOnly)) {
            if (sibling != this && groupIndex_ != 0 && sibling->groupIndex_ == groupIndex_)
                sibling->allowAllUp_ = on;
        }
    }
}

QColor TFlatButton::resolve(TColor c) const { return ColorToQColor(c, palette()); }

void TFlatButton::fixState() {
    if (isEnabled()) {
        if (state_ == bsDisabled)
            state_ = (down_ && groupIndex_ != 0) ? bsExclusive : bsUp;
    } else {
        state_ = bsDisabled;
        dragging_ = false;
    }
}

void TFlatButton::calcLayout(QPoint offset) {
    const QRect client = rect();
    const int glyphW = glyph_.isNull() ? 0 : glyph_.width() / numGlyphs_;
    const int glyphH = glyph_.isNull() ? 0 : glyph_.height();
    const QSize captionSize = caption_.isEmpty()
                                  ? QSize(0, 0)
                                  : fontMetrics().size(Qt::TextSingleLine | Qt::TextShowMnemonic, caption_);
    const bool horizontal = layout_ == blGlyphLeft || layout_ == blGlyphRight;
    const int extent = horizontal ? client.width() : client.height();
    const int glyphSize = horizontal ? glyphW : glyphH;
    const int captionExtent = horizontal ? captionSize.width() : captionSize.height();

    QPoint glyph, text;
    if (horizontal) {
        glyph.setY(divToZero(client.height() - glyphH + 1, 2));
        text.setY(divToZero(client.height() - captionSize.height() + 1, 2));
    } else {
        glyph.setX(divToZero(client.width() - glyphW + 1, 2));
        text.setX(divToZero(client.width() - captionSize.width() + 1, 2));
    }

    int spacing = spacing_;
    int margin = margin_;
    if (glyphSize == 0 || captionExtent == 0)
        spacing = 0;
    if (margin == -1) {
        if (spacing == -1) {
            margin = divToZero(extent - glyphSize - captionExtent, 3);
            spacing = margin;
        } else {
            margin = divToZero(extent - glyphSize - spacing - captionExtent + 1, 2);
        }
    } else if (spacing == -1) {
        spacing = divToZero(extent - margin - glyphSize - captionExtent, 2);
    }

    switch (layout_) {
    case blGlyphLeft:
        glyph.setX(margin);
        text.setX(glyph.x() + glyphSize + spacing);
        break;
    case blGlyphRight:
        glyph.setX(client.width() - margin - glyphSize);
        text.setX(glyph.x() - spacing - captionExtent);
        break;
    case blGlyphTop:
        glyph.setY(margin);
        text.setY(glyph.y() + glyphSize + spacing);
        break;
    case blGlyphBottom:
        glyph.setY(client.height() - margin - glyphSize);
        text.setY(glyph.y() - spacing - captionExtent);
        break;
    }
    glyphPos_ = glyph + offset;
    captionRect_ = QRect(text + offset, captionSize);
}

void TFlatButton::paintEvent(QPaintEvent*) {
    fixState();
    const QPoint offset = (state_ == bsDown || state_ == bsExclusive) ? QPoint(1, 1) : QPoint(0, 0);
    calcLayout(offset);

    // Drawn off screen first, then shown at once: no flicker between face and glyph.
    QPixmap picture(size());
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        drawFace(p);
        drawBorder(p);
        drawGlyph(p);
        drawCaption(p);
    }
    QPainter screen(this);
    screen.drawPixmap(0, 0, picture);
}

void TFlatButton::drawFace(QPainter& p) const {
    TColor face = Color();
    switch (state_) {
    case bsUp:
        face = mouseIn_ ? colorFocused_ : Color();
        break;
    case bsDisabled:
        face = Color();
        break;
    case bsDown:
        face = colorDown_;
        break;
    case bsExclusive:
        face = mouseIn_ ? colorFocused_ : colorDown_;
        break;
    }
    bool showParent = transparentMode_ == tmAlways;
    if (transparentMode_ == tmNotFocused) {
        showParent = !mouseIn_;
        if (state_ == bsExclusive && mouseIn_)
            face = colorFocused_;
    }
    if (showParent) {
        // The parent's background at the button's place shows through.
        if (parentWidget())
            p.fillRect(rect(), parentWidget()->palette().brush(parentWidget()->backgroundRole()));
        return;
    }
    p.fillRect(rect(), resolve(face));
}

void TFlatButton::drawBorder(QPainter& p) const {
    auto frame = [&](int inset, TColor topLeft, TColor bottomRight) {
        const int l = inset, t = inset, r = width() - 1 - inset, b = height() - 1 - inset;
        p.setPen(resolve(topLeft));
        p.drawLine(l, t, r, t);
        p.drawLine(l, t, l, b);
        p.setPen(resolve(bottomRight));
        p.drawLine(r, t, r, b);
        p.drawLine(l, b, r, b);
    };
    switch (state_) {
    case bsUp:
        if (mouseIn_) {
            frame(0, colorHighLight_, colorShadow_);
        } else if (default_) {
            frame(0, colorBorder_, colorBorder_);
            frame(1, colorBorder_, colorBorder_);
        } else {
            frame(0, colorBorder_, colorBorder_);
        }
        break;
    case bsDisabled:
        frame(0, colorBorder_, colorBorder_);
        break;
    case bsDown:
    case bsExclusive:
        frame(0, colorShadow_, colorHighLight_);
        break;
    }
}

QImage TFlatButton::disabledRendering(const QImage& image, const QPalette& palette) {
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QImage result(source.size(), QImage::Format_ARGB32);
    result.fill(ColorToQColor(clBtnFace, palette));
    const QRgb highlight = ColorToQColor(clBtnHighlight, palette).rgb();
    const QRgb shadow = ColorToQColor(clBtnShadow, palette).rgb();
    auto black = [&](int x, int y) { return (source.pixel(x, y) & 0xFFFFFF) == 0; };
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            if (black(x, y) && x + 1 < result.width() && y + 1 < result.height())
                result.setPixel(x + 1, y + 1, highlight);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            if (black(x, y))
                result.setPixel(x, y, shadow);
    return result;
}

void TFlatButton::drawGlyph(QPainter& p) const {
    if (glyph_.isNull())
        return;
    const int w = glyph_.width() / numGlyphs_;
    int index = 0;
    switch (state_) {
    case bsUp:
        index = 0;
        break;
    case bsDisabled:
        index = numGlyphs_ >= 2 ? 1 : 0;
        break;
    case bsDown:
        index = numGlyphs_ >= 3 ? 2 : 0;
        break;
    case bsExclusive:
        index = numGlyphs_ == 4 ? 3 : (numGlyphs_ == 3 ? 2 : 0);
        break;
    }
    QImage strip = glyph_;
    if (numGlyphs_ == 1 && state_ == bsDisabled)
        strip = disabledRendering(glyph_, palette());
    // The bottom-left pixel of the strip names the colour left out.
    const QRgb transparent = strip.pixel(0, strip.height() - 1) & 0xFFFFFF;
    QImage image = strip.copy(index * w, 0, w, strip.height());
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFF) == transparent)
                line[x] = 0;
    }
    p.drawImage(glyphPos_, image);
}

void TFlatButton::drawCaption(QPainter& p) const {
    if (caption_.isEmpty())
        return;
    p.setFont(font());
    const int flags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
    if (state_ == bsDisabled) {
        p.setPen(resolve(clBtnHighlight));
        p.drawText(captionRect_.translated(1, 1), flags, caption_);
        p.setPen(resolve(clBtnShadow));
        p.drawText(captionRect_, flags, caption_);
    } else {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(captionRect_, flags, caption_);
    }
}

bool TFlatButton::isInside(const QPoint& pos) const {
    // The row just below the button counts as inside.
    return pos.x() >= 0 && pos.x() < width() && pos.y() >= 0 && pos.y() <= height();
}

void TFlatButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    if (!down_)
        state_ = bsDown;
    dragging_ = true;
    setFocus(Qt::MouseFocusReason);
    update();
}

void TFlatButton::enterEvent(QEnterEvent*) { startHover(); }

void TFlatButton::mouseMoveEvent(QMouseEvent* event) {
    if (!mouseIn_)
        startHover();
    if (dragging_) {
        const TButtonState wanted = down_ ? bsExclusive : (isInside(event->position().toPoint()) ? bsDown : bsUp);
        if (wanted != state_) {
            state_ = wanted;
            update();
        }
    }
}

void TFlatButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_)
        return;
    dragging_ = false;
    const bool inside = isInside(event->position().toPoint());
    if (groupIndex_ == 0) {
        state_ = bsUp;
        mouseIn_ = false;
    } else if (inside) {
        setDown(!down_);
        if (down_)
            state_ = bsExclusive;
    } else if (down_) {
        state_ = bsExclusive;
    }
    update();
    if (inside)
        runClick();
    else
        endHover();
    if (rect().contains(mapFromGlobal(QCursor::pos())))
        startHover();
}

void TFlatButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (down_ && OnDblClick)
        OnDblClick(this);
    mousePressEvent(event);
}

void TFlatButton::runClick() {
    if (auto* dialog = qobject_cast<QDialog*>(window()); dialog && modalResult_ != 0)
        dialog->done(modalResult_);
    if (OnClick)
        OnClick(this);
    emit clicked();
}

void TFlatButton::startHover() {
    HoverTracking& h = hover();
    if (h.tracked && h.tracked != this)
        h.tracked->endHover();
    h.tracked = this;
    if (h.timer)
        h.timer->start();
    if (!mouseIn_ && isEnabled()) {
        mouseIn_ = true;
        if (OnMouseEnter)
            OnMouseEnter(this);
        update();
    }
}

void TFlatButton::endHover() {
    if (dragging_)
        return;
    if (hover().tracked == this && hover().timer)
        hover().timer->stop();
    if (mouseIn_) {
        mouseIn_ = false;
        if (OnMouseLeave)
            OnMouseLeave(this);
        update();
    }
}

void TFlatButton::checkHover() {
    if (QApplication::widgetAt(QCursor::pos()) != this)
        endHover();
}

void TFlatButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || event->isAutoRepeat() || !isEnabled())
        return;
    if (groupIndex_ != 0)
        setDown(true);
    else
        state_ = bsDown;
    update();
}

void TFlatButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || event->isAutoRepeat() || !isEnabled())
        return;
    if (groupIndex_ != 0)
        setDown(false);
    else
        state_ = bsUp;
    update();
    runClick();
}

void TFlatButton::focusInEvent(QFocusEvent*) {
    mouseIn_ = isEnabled();
    update();
}

void TFlatButton::focusOutEvent(QFocusEvent*) {
    mouseIn_ = false;
    update();
}

void TFlatButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            mouseIn_ = false;
            dragging_ = false;
        }
        fixState();
        update();
    } else if (event->type() == QEvent::PaletteChange && useAdvColors_) {
        deriveColors();
    }
    QWidget::changeEvent(event);
}

bool TFlatButton::event(QEvent* event) {
    if (event->type() == QEvent::Shortcut && isEnabled()) {
        if (static_cast<QShortcutEvent*>(event)->shortcutId() == shortcutId_) {
            if (groupIndex_ != 0)
                setDown(true);
            runClick();
            return true;
        }
    }
    return QWidget::event(event);
}
