#pragma once
// The program's 32-bit colour: 0x00BBGGRR for an explicit colour, 0x80 in the top byte plus an
// index for a colour of the desktop scheme, resolved from the palette when drawing.

#include <QColor>
#include <QPalette>

using TColor = quint32;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clGreen = 0x008000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clNavy = 0x800000;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clGray = 0x808080;

constexpr TColor clScrollBar = 0x80000000;
constexpr TColor clBackground = 0x80000001;
constexpr TColor clWindow = 0x80000005;
constexpr TColor clWindowText = 0x80000008;
constexpr TColor clHighlight = 0x8000000D;
constexpr TColor clHighlightText = 0x8000000E;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clBtnShadow = 0x80000010;
constexpr TColor clBtnText = 0x80000012;
constexpr TColor clBtnHighlight = 0x80000014;
constexpr TColor clNone = 0x1FFFFFFF;

inline bool isSystemColor(TColor c) { return (c & 0xFF000000u) == 0x80000000u; }

// Resolves a colour for drawing; system colours come from the palette.
QColor ColorToQColor(TColor color, const QPalette& palette);

// The explicit TColor of a QColor (alpha dropped).
TColor QColorToTColor(const QColor& color);
