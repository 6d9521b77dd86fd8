#pragma once
// The entries of the backup-set list: "<position> <finish time>", and the set number read
// back from an entry.

#include <QDateTime>
#include <QString>

// "3 2008-03-15 14:05:09": position in decimal, one blank, the finish time on the 24-hour clock.
QString backupSetEntryText(int position, const QDateTime& finishDate);

// The text up to and including the first blank, trimmed of blanks and control characters,
// as an integer. An entry without a blank yields the empty text, which is no number.
// Throws EConvertError when the text is not a decimal integer.
int backupSetNumber(const QString& entryText);
