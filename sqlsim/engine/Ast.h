#pragma once
// The parsed form of the statements the simulator understands. Expressions and statements
// nest, so they live together here.

#include "Results.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace sqlsim {

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    enum class Kind { Literal, Column, Variable, Function, Unary, Binary, Like, IsNull, In };
    Kind kind = Kind::Literal;
    Value value;           // Literal
    bool national = false; // N'...' literal
    QString name;          // column, variable, function or operator ("=", "AND", "NOT", "-", ...)
    std::vector<ExprPtr> args;
    bool negated = false; // NOT LIKE, IS NOT NULL, NOT IN
    QString written;      // source text, for messages and default column names
};

// A one- to four-part name as written: master..sysdatabases gives {"master", "", "sysdatabases"}.
struct ObjectName {
    QStringList parts;
    QString written;
    QString object() const { return parts.isEmpty() ? QString() : parts.last(); }
    QString database() const { return parts.size() >= 3 ? parts.at(parts.size() - 3) : QString(); }
    QString schema() const { return parts.size() >= 2 ? parts.at(parts.size() - 2) : QString(); }
};

struct SelectItem {
    bool star = false;
    ExprPtr expr;
    std::optional<QString> alias;
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct ProcArgument {
    QString parameter; // @name = value, empty when positional
    ExprPtr value;     // null for DEFAULT
    bool output = false;
};

// BACKUP / RESTORE WITH options; MOVE carries its two texts.
struct MediaOption {
    QString name; // upper case
    std::optional<Value> value;
    QString moveLogical;
    QString moveTarget;
};

struct Statement {
    enum class Kind {
        Select,
        Execute,
        Backup,
        RestoreDatabase,
        RestoreHeaderOnly,
        RestoreFileListOnly,
        RestoreVerifyOnly,
        RestoreLabelOnly,
        CreateTable,
        DropTable,
        Insert,
        Delete,
        Set,
        Use,
        AlterDatabase,
        If,
        BeginTransaction,
        CommitTransaction,
        RollbackTransaction,
    };
    Kind kind = Kind::Select;

    // SELECT
    std::optional<qint64> top;
    std::vector<SelectItem> items;
    std::optional<ObjectName> from;
    ExprPtr where; // also DELETE
    std::vector<OrderItem> orderBy;

    // EXECUTE
    ObjectName procedure;
    std::vector<ProcArgument> arguments;

    // BACKUP / RESTORE / USE
    QString database;
    bool backupLog = false;
    QStringList disks;
    std::vector<MediaOption> options;

    // CREATE / DROP / INSERT / DELETE
    ObjectName table;
    std::vector<Column> columns;
    QStringList insertColumns;
    std::unique_ptr<Statement> insertSource; // INSERT ... EXEC
    std::vector<std::vector<ExprPtr>> insertValues;

    // SET; ALTER DATABASE ... SET <setWords> [WITH <setValue>]
    QStringList setWords;
    QString setValue;

    // IF
    ExprPtr condition;
    std::unique_ptr<Statement> thenBranch;
    std::unique_ptr<Statement> elseBranch;
};

} // namespace sqlsim
