#pragma once
// BACKUP DATABASE and the RESTORE family on real files through the drive map. Each
// handler sends its result set or informational messages and returns the statement's DONE;
// failures raise SqlError carrying the messages a real server sends, ending with 3013.

#include "Ast.h"
#include "BackupFile.h"
#include "EngineState.h"

namespace sqlsim {

class BackupRestore {
public:
    static Done backup(const ExecContext& context, const Statement& st);
    static Done headerOnly(const ExecContext& context, const Statement& st);
    static Done fileListOnly(const ExecContext& context, const Statement& st);
    static Done verifyOnly(const ExecContext& context, const Statement& st);
    static Done restoreDatabase(const ExecContext& context, const Statement& st);

    static ResultSet headerColumns();
    static ResultSet fileListColumns();
};

} // namespace sqlsim
