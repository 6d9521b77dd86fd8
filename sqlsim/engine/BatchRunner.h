#pragma once
// Runs one batch for a session: parses it whole, then runs its statements in order,
// turning failures into ERROR messages. A failing statement does not stop the ones after
// it; a syntax error or a cancellation does.

#include "Ast.h"
#include "EngineState.h"

namespace sqlsim {

class BatchRunner {
public:
    explicit BatchRunner(const ExecContext& context) : context_(context) {}

    void run(const QString& batch);

private:
    Done runStatement(const Statement& st);
    Done select(const Statement& st);
    Done execute(const Statement& st);
    Done insert(const Statement& st);
    Done deleteRows(const Statement& st);
    Done createTable(const Statement& st);
    Done dropTable(const Statement& st);
    Done set(const Statement& st);
    Done use(const Statement& st);
    Done alterDatabase(const Statement& st);
    Done transaction(const Statement& st);
    bool applyFailRule(const QString& batch);
    bool applyDelayRules(const QString& batch); // false when an attention ended the wait
    ResultSet sourceTable(const ObjectName& name);
    std::optional<ResultSet> runProcedure(const Statement& st);

    const ExecContext& context_;
};

} // namespace sqlsim
