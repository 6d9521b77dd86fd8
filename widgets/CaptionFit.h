#pragma once
// Fixed captions in fixed widths: the substitute fonts on this platform draw some captions
// wider than the widths the layout table gives, which would cut off their ends. A caption that
// does not fit is drawn a little narrower (font stretch) rather than cut.

class QWidget;

namespace CaptionFit {

// Whether the control's caption fits in its width in the control's font: a label's text, a
// push button's text within its margins, a check or radio box's indicator with its text, a group
// box's title. A control without a caption fits.
bool fits(const QWidget* control);

// Narrows the control's font just enough for its caption to fit, down to three quarters of the
// normal width at most.
void fitCaption(QWidget* control);

// fitCaption for the root and every control inside it.
void fitCaptions(QWidget* root);

} // namespace CaptionFit
