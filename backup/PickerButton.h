#pragma once
// The small picker buttons beside the read-only path boxes.

class TFlatButton;
class QImage;

// 18 x 19, face and borders in the page colour, the tree glyph, "宋体" 12 px in 0xA56654.
void setupPickerButton(TFlatButton* button);

// The 16 x 16 tree glyph: a green crown over a brown trunk on white (white is left out).
QImage treeGlyph();
