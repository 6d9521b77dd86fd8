#pragma once
// The server's error and informational messages: number, severity, usual state and text.

#include "Results.h"

#include <QString>
#include <QStringList>

namespace sqlsim {

class MessageCatalog {
public:
    // The message with its placeholders (%1, %2, ...) replaced by args in order.
    // Numbers the catalogue does not know get severity 16 and a generic text.
    static Message make(int number, const QStringList& args = {}, int state = -1);
    static bool contains(int number);
    // How many placeholders the text of this number has.
    static int argumentCount(int number);
};

// The usual wording of the operating-system errors that SQL Server quotes.
namespace OsError {
inline const QString fileNotFound = QStringLiteral("2(The system cannot find the file specified.)");
inline const QString pathNotFound = QStringLiteral("3(The system cannot find the path specified.)");
inline const QString accessDenied = QStringLiteral("5(Access is denied.)");
inline const QString sharingViolation =
    QStringLiteral("32(The process cannot access the file because it is being used by another process.)");
inline const QString endOfFile = QStringLiteral("38(Reached the end of the file.)");
inline const QString diskFull = QStringLiteral("112(There is not enough space on the disk.)");
} // namespace OsError

// The state of 3201 tells what the server was doing with the backup device: 1 (or 3) creating
// it for a BACKUP, 2 opening an existing one to read (SQL Server's documentation of MSSQLSERVER_3201).
namespace DeviceState {
constexpr int create = 1;
constexpr int open = 2;
} // namespace DeviceState

} // namespace sqlsim
