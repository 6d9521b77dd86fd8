#include "BackupSetNumber.h"

#include "EConvertError.h"

QString backupSetEntryText(int position, const QDateTime& finishDate) {
    return QString::number(position) + QLatin1Char(' ') + finishDate.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

namespace {

// Blanks and every control character count as white space here, nothing else does.
bool isTrimmed(QChar c) { return c.unicode() <= 0x20; }

QString trimBlanksAndControls(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmed(text.at(begin)))
        ++begin;
    while (end > begin && isTrimmed(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

int backupSetNumber(const QString& entryText) {
    const qsizetype blank = entryText.indexOf(QLatin1Char(' '));
    const QString head = trimBlanksAndControls(entryText.left(blank < 0 ? 0 : blank + 1));
    bool ok = false;
    const int number = head.toInt(&ok, 10);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(head));
    return number;
}
