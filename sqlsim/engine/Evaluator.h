#pragma once
// Evaluates expressions over one row (or none) with SQL Server's comparison rules:
// case-blind text, trailing blanks ignored, NULL never equal to anything.

#include "Ast.h"
#include "EngineState.h"

namespace sqlsim {

struct RowView {
    const std::vector<Column>* columns = nullptr;
    const std::vector<Value>* values = nullptr;
};

class Evaluator {
public:
    explicit Evaluator(const ExecContext& context) : context_(context) {}

    // Throws SqlError (207 unknown column, 245 conversion).
    Value evaluate(const Expr& expr, const RowView& row) const;
    bool isTrue(const Expr& expr, const RowView& row) const;
    // The column an expression yields in a result set (name left empty).
    Column describe(const Expr& expr, const RowView& row) const;

    // -1, 0, 1; *comparable false when either side is NULL.
    static int compare(const Value& a, const Value& b, bool* comparable);
    static bool like(const QString& value, const QString& pattern);
    static QString toText(const Value& v);
    static int columnIndex(const std::vector<Column>& columns, const QString& name); // -1 when absent

private:
    const ExecContext& context_;
};

} // namespace sqlsim
