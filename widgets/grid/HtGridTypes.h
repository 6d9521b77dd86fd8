#pragma once
// Options, draw states and the error type shared by the grid classes.

#include <QFlags>
#include <QString>

#include <stdexcept>

enum TGridOption {
    goFixedVertLine = 0x0001,
    goFixedHorzLine = 0x0002,
    goVertLine = 0x0004,
    goHorzLine = 0x0008,
    goRangeSelect = 0x0010,
    goDrawFocusSelected = 0x0020,
    goRowSizing = 0x0040,
    goColSizing = 0x0080,
    goRowMoving = 0x0100,
    goColMoving = 0x0200,
    goEditing = 0x0400,
    goTabs = 0x0800,
    goRowSelect = 0x1000,
    goAlwaysShowEditor = 0x2000,
    goThumbTracking = 0x4000,
};
Q_DECLARE_FLAGS(TGridOptions, TGridOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridOptions)

enum TGridDrawStateFlag { gdSelected = 0x1, gdFocused = 0x2, gdFixed = 0x4 };
Q_DECLARE_FLAGS(TGridDrawState, TGridDrawStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridDrawState)

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Which scroll bars may appear when the table does not fit.
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TBorderStyle { bsNone, bsSingle };

struct TGridRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool contains(int col, int row) const { return col >= Left && col <= Right && row >= Top && row <= Bottom; }
    bool operator==(const TGridRect&) const = default;
};

class EInvalidGridOperation : public std::runtime_error {
public:
    explicit EInvalidGridOperation(const QString& message) : std::runtime_error(message.toStdString()) {}
};

namespace GridMessages {
inline const QString IndexOutOfRange = QStringLiteral("Grid index out of range");
inline const QString FixedColTooBig = QStringLiteral("Fixed column count must be less than column count");
inline const QString FixedRowTooBig = QStringLiteral("Fixed row count must be less than row count");
inline const QString TooManyDeleted = QStringLiteral("Too many rows or columns deleted");
inline const QString TooLarge = QStringLiteral("Grid too large for operation");
inline const QString CannotInsertDelete = QStringLiteral("Cannot insert or delete rows from grid");
} // namespace GridMessages
