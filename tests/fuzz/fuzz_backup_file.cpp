// The simulator's backup file reader, fed arbitrary files. The input is read twice: as a whole
// file (the framing), and as a set header before the first NUL and a payload after it, framed
// with correct checksums so that the header's own reader is reached too.
#include "BackupFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryFile>
#include <QtEndian>

#include <cstddef>
#include <cstdint>

namespace {

void readBack(const QByteArray& bytes) {
    QTemporaryFile file;
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
        return;
    const sqlsim::BackupFile::Listing listing = sqlsim::BackupFile::list(file.fileName());
    for (const sqlsim::BackupSetHeader& set : listing.sets) {
        std::vector<QByteArray> contents;
        sqlsim::BackupFile::readFiles(file.fileName(), set, &contents);
    }
}

QByteArray framed(const QByteArray& header, const QByteArray& payload) {
    QByteArray out("SQLSIMBK");
    char word[4];
    qToLittleEndian<quint32>(sqlsim::BackupFile::formatVersion, word);
    out.append(word, 4);
    qToLittleEndian<quint32>(quint32(header.size()), word);
    out.append(word, 4);
    out += header;
    out += QCryptographicHash::hash(header, QCryptographicHash::Sha256);
    out += payload;
    out += QCryptographicHash::hash(payload, QCryptographicHash::Sha256);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    readBack(input);
    const qsizetype split = input.indexOf('\0');
    if (split > 0)
        readBack(framed(input.left(split), input.mid(split + 1)));
    return 0;
}
