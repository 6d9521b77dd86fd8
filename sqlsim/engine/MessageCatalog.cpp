#include "MessageCatalog.h"

#include <map>

namespace sqlsim {
namespace {

struct Entry {
    int severity;
    int state;
    const char* text;
};

// Informational messages travel with class 0, as a real server sends them.
const std::map<int, Entry>& entries() {
    static const std::map<int, Entry> table{
        {102, {15, 1, "Incorrect syntax near '%1'."}},
        {103, {15, 4, "The identifier that starts with '%1' is too long. Maximum length is 128."}},
        {105, {15, 1, "Unclosed quotation mark after the character string '%1'."}},
        {108, {15, 1, "The ORDER BY position number %1 is out of range of the number of items in the select list."}},
        {137, {15, 2, "Must declare the scalar variable \"%1\"."}},
        {156, {15, 1, "Incorrect syntax near the keyword '%1'."}},
        {191,
         {15, 1,
          "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into "
          "smaller queries."}},
        {195, {15, 10, "'%1' is not a recognized %2."}},
        {207, {16, 1, "Invalid column name '%1'."}},
        {208, {16, 1, "Invalid object name '%1'."}},
        {213, {16, 1, "Column name or number of supplied values does not match table definition."}},
        {229, {14, 5, "The %1 permission was denied on the object '%2', database '%3', schema '%4'."}},
        {245, {16, 1, "Conversion failed when converting the %1 value '%2' to data type %3."}},
        {262, {14, 1, "%1 permission denied in database '%2'."}},
        {263, {16, 1, "Must specify table to select from."}},
        {515,
         {16, 2,
          "Cannot insert the value NULL into column '%1', table '%2'; column does not allow nulls. "
          "INSERT fails."}},
        {596, {21, 1, "Cannot continue the execution because the session is in the kill state."}},
        {911, {16, 1, "Database '%1' does not exist. Make sure that the name is entered correctly."}},
        {924, {14, 1, "Database '%1' is already open and can only have one user at a time."}},
        {927, {14, 1, "Database '%1' cannot be opened. It is in the middle of a restore."}},
        {1038,
         {15, 4,
          "An object or column name is missing or empty. For SELECT INTO statements, verify each column "
          "has a name. For other statements, look for empty alias names. Aliases defined as \"\" or [] are "
          "not allowed. Change the alias to a valid name."}},
        {1834, {16, 1, "The file '%1' cannot be overwritten.  It is being used by database '%2'."}},
        {1844, {16, 1, "%1 is not supported on %2."}},
        {2715, {16, 3, "Column, parameter, or variable #%1: Cannot find data type %2."}},
        {2714, {16, 6, "There is already an object named '%1' in the database."}},
        {2812, {16, 62, "Could not find stored procedure '%1'."}},
        {3013, {16, 1, "%1 is terminating abnormally."}},
        {3014, {0, 1, "%1 successfully processed %2 pages in %3 seconds (%4 MB/sec)."}},
        {3021, {16, 1, "Cannot perform a backup or restore operation within a transaction."}},
        {3101, {16, 1, "Exclusive access could not be obtained because the database is in use."}},
        {3102,
         {16, 1,
          "RESTORE cannot process database '%1' because it is in use by this session. It is recommended "
          "that the master database be used when performing this operation."}},
        {3110, {14, 1, "User does not have permission to RESTORE database '%1'."}},
        {3119,
         {16, 1,
          "Problems were identified while planning for the RESTORE statement. Previous messages provide "
          "details."}},
        {3142,
         {16, 1,
          "File \"%1\" cannot be restored over the existing \"%2\". Reissue the RESTORE statement using "
          "WITH REPLACE to overwrite pre-existing files, or WITH MOVE to identify an alternate location."}},
        {3147, {16, 1, "Backup and restore operations are not allowed on database tempdb."}},
        {3154, {16, 4, "The backup set holds a backup of a database other than the existing '%1' database."}},
        {3156,
         {16, 4, "File '%1' cannot be restored to '%2'. Use WITH MOVE to identify a valid location for the file."}},
        {3176,
         {16, 1,
          "File '%1' is claimed by '%2'(%3) and '%4'(%5). The WITH MOVE clause can be used to relocate "
          "one or more files."}},
        {3169,
         {16, 1,
          "The database was backed up on a server running version %1. That version is incompatible with this "
          "server, which is running version %2. Either restore the database on a server that supports the "
          "backup, or use a backup that is compatible with this server."}},
        {3183, {16, 1, "RESTORE detected an error on page (%1:%2) in database \"%3\" as read from the backup set."}},
        {3187,
         {16, 1,
          "RESTORE WITH CHECKSUM cannot be specified because the backup set does not contain checksum "
          "information."}},
        {3189, {16, 1, "Damage to the backup set was detected."}},
        {3201, {16, 1, "Cannot open backup device '%1'. Operating system error %2."}},
        {3202, {16, 1, "Write on \"%1\" failed: %2"}},
        {3203, {16, 1, "Read on \"%1\" failed: %2"}},
        {3211, {0, 1, "%1 percent processed."}},
        {3234,
         {16, 1,
          "Logical file '%1' is not part of database '%2'. Use RESTORE FILELISTONLY to list the logical "
          "file names."}},
        {3241,
         {16, 0,
          "The media family on device '%1' is incorrectly formed. SQL Server cannot process this media "
          "family."}},
        {3254, {16, 1, "The volume on device '%1' is empty."}},
        {3262, {0, 1, "The backup set on file %1 is valid."}},
        {3634, {16, 1, "The operating system returned the error '%1' while attempting '%2' on '%3'."}},
        {3701, {11, 5, "Cannot drop the table '%1', because it does not exist or you do not have permission."}},
        {3902, {16, 1, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."}},
        {3903, {16, 1, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."}},
        {4208,
         {16, 1,
          "The statement BACKUP LOG is not allowed while the recovery model is SIMPLE. Use BACKUP DATABASE or "
          "change the recovery model using ALTER DATABASE."}},
        {4035, {0, 1, "Processed %1 pages for database '%2', file '%3' on file %4."}},
        {4038, {16, 1, "Cannot find file ID %1 on device '%2'."}},
        {5011,
         {14, 5,
          "User does not have permission to alter database '%1', the database does not exist, or the database "
          "is not in a state that allows access checks."}},
        {5052, {16, 1, "ALTER DATABASE is not permitted while a database is in the %1 state."}},
        {5069, {16, 1, "ALTER DATABASE statement failed."}},
        {5070, {16, 2, "Database state cannot be changed while other users are using the database '%1'"}},
        {5133, {16, 1, "Directory lookup for the file \"%1\" failed with the operating system error %2."}},
        {5701, {0, 1, "Changed database context to '%1'."}},
        {5703, {0, 1, "Changed language setting to %1."}},
        {8134, {16, 1, "Divide by zero error encountered."}},
        {8152, {16, 14, "String or binary data would be truncated."}},
        {18456, {14, 1, "Login failed for user '%1'."}},
    };
    return table;
}

// Replaces %1..%9 in one pass, so an argument that itself holds "%2" stays as it is.
QString substitute(const QString& text, const QStringList& args) {
    QString out;
    out.reserve(text.size() + 32);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'%' && i + 1 < text.size() && text.at(i + 1).isDigit() && text.at(i + 1) != u'0') {
            const int index = text.at(i + 1).digitValue() - 1;
            out += index < args.size() ? args.at(index) : QString();
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

Message MessageCatalog::make(int number, const QStringList& args, int state) {
    Message m;
    m.number = number;
    const auto it = entries().find(number);
    if (it == entries().end()) {
        m.severity = 16;
        m.state = state < 0 ? 1 : state;
        m.text = QStringLiteral("Error %1 was raised by the server.").arg(number);
        return m;
    }
    m.severity = it->second.severity;
    m.state = state < 0 ? it->second.state : state;
    m.text = substitute(QString::fromUtf8(it->second.text), args);
    return m;
}

bool MessageCatalog::contains(int number) {
    return entries().count(number) != 0;
}

int MessageCatalog::argumentCount(int number) {
    const auto it = entries().find(number);
    if (it == entries().end())
        return 0;
    int highest = 0;
    const QString text = QString::fromUtf8(it->second.text);
    for (qsizetype i = 0; i + 1 < text.size(); ++i)
        if (text.at(i) == u'%' && text.at(i + 1).isDigit())
            highest = std::max(highest, text.at(i + 1).digitValue());
    return highest;
}

} // namespace sqlsim
