#include "BatchRunner.h"

#include "BackupRestore.h"
#include "CodePage.h"
#include "Evaluator.h"
#include "Lexer.h"
#include "MessageCatalog.h"
#include "Parser.h"
#include "Procedures.h"
#include "SqlError.h"
#include "SystemTables.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <numeric>
#include <utility>

namespace sqlsim {
namespace {

// Holds back each DONE until it is known whether anything follows it, so that only the
// last one of the batch goes out without DONE_MORE.
class BatchSink : public ResponseSink {
public:
    explicit BatchSink(ResponseSink& out) : out_(out) {}
    void add(ResponseItem item) override {
        if (pending_) {
            pending_->more = true;
            out_.add(*pending_);
            pending_.reset();
        }
        if (auto* done = std::get_if<Done>(&item))
            pending_ = *done;
        else
            out_.add(std::move(item));
    }
    // A held DONE stays held: whether more follows is still open.
    void flush() override { out_.flush(); }
    void finish() {
        Done last = pending_.value_or(Done{});
        last.more = false;
        pending_.reset();
        out_.add(last);
    }

private:
    ResponseSink& out_;
    std::optional<Done> pending_;
};

bool isTempName(const QString& name) {
    return name.startsWith(QLatin1String("##"));
}

QString qualifiedTempName(const QString& name) {
    return QStringLiteral("tempdb.dbo.") + name;
}

Value convertForColumn(const Value& v, const Column& c, const QString& table) {
    if (std::holds_alternative<Null>(v)) {
        if (!c.nullable)
            throw SqlError(MessageCatalog::make(515, {c.name, qualifiedTempName(table)}));
        return v;
    }
    switch (c.type) {
    case SqlType::NVarChar: {
        const QString text = Evaluator::toText(v);
        if (c.size > 0 && text.size() > c.size)
            throw SqlError(MessageCatalog::make(8152));
        return text;
    }
    case SqlType::VarChar:
    case SqlType::Char: {
        // Stored in the code page, and measured in its bytes.
        const QString text = CodePage::narrowed(Evaluator::toText(v));
        if (c.size > 0 && CodePage::encode(text).size() > c.size)
            throw SqlError(MessageCatalog::make(8152));
        return text;
    }
    case SqlType::DateTime:
        if (std::holds_alternative<QDateTime>(v))
            return v;
        break;
    default: {
        bool comparable = false;
        Evaluator::compare(v, qint64(0), &comparable); // raises 245 for text that is no number
        if (const auto* b = std::get_if<bool>(&v))
            return qint64(*b ? 1 : 0);
        if (const auto* s = std::get_if<QString>(&v))
            return s->trimmed().toLongLong();
        return v;
    }
    }
    throw SqlError(MessageCatalog::make(245, {QStringLiteral("varchar"), Evaluator::toText(v), QStringLiteral("int")}));
}

// Placeholders of a forced error: messages about a device or file name the batch's first
// quoted text (the path), the rest the rule's own text.
QStringList failRuleArguments(int number, const QString& ruleText, const QString& batch) {
    QString path = ruleText;
    try {
        for (const Token& t : Lexer::tokenize(batch)) {
            if (t.kind == Token::Kind::String) {
                path = t.text;
                break;
            }
        }
    } catch (const SqlError&) {
        // An unreadable batch keeps the rule's text.
    }
    switch (number) {
    case 3201:
    case 5133:
        return {path, OsError::pathNotFound};
    case 3202:
        return {path, OsError::diskFull};
    case 3203:
        return {path, OsError::endOfFile};
    case 3241:
    case 3254:
        return {path};
    case 4038:
        return {QStringLiteral("1"), path};
    case 1834:
        return {path, QStringLiteral("master")};
    default:
        break;
    }
    QStringList args;
    for (int i = 0; i < MessageCatalog::argumentCount(number); ++i)
        args << ruleText;
    return args;
}

} // namespace

void BatchRunner::run(const QString& batch) {
    BatchSink sink(context_.sink);
    ExecContext context{context_.engine, context_.session, sink, context_.cancel};
    BatchRunner inner(context);
    auto sendError = [&sink](const std::vector<Message>& messages, quint16 command) {
        for (const Message& m : messages)
            sink.add(m);
        Done done;
        done.error = true;
        done.currentCommand = command;
        sink.add(done);
    };
    if (!inner.applyDelayRules(batch) || inner.applyFailRule(batch)) {
        sink.finish();
        return;
    }
    std::vector<Statement> statements;
    try {
        statements = Parser::parseBatch(batch);
    } catch (const SqlError& e) {
        sendError(e.messages(), 0);
        sink.finish();
        return;
    }
    for (const Statement& st : statements) {
        if (context.cancel.isCancelled())
            break;
        try {
            sink.add(inner.runStatement(st));
        } catch (const SqlError& e) {
            sendError(e.messages(), 0);
        } catch (const StatementCancelled&) {
            break;
        } catch (const std::exception& e) {
            // A fault of the simulator itself still answers like a server would, never by dropping the line.
            Message m = MessageCatalog::make(50000);
            m.text = QStringLiteral("Internal simulator error: %1").arg(QString::fromUtf8(e.what()));
            sendError({m}, 0);
        }
    }
    sink.finish();
}

bool BatchRunner::applyDelayRules(const QString& batch) {
    for (const auto& [text, ms] : context_.engine.config.delayRules) {
        if (text.isEmpty() || !batch.contains(text, Qt::CaseInsensitive))
            continue;
        // In small steps, so that an attention ends the wait as it would end a slow statement.
        QElapsedTimer timer;
        timer.start();
        for (qint64 left = ms; left > 0; left = ms - timer.elapsed()) {
            if (context_.cancel.isCancelled())
                return false;
            QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 10)));
        }
    }
    return !context_.cancel.isCancelled();
}

bool BatchRunner::applyFailRule(const QString& batch) {
    for (const auto& [text, number] : context_.engine.config.failRules) {
        if (text.isEmpty() || !batch.contains(text, Qt::CaseInsensitive))
            continue;
        const QStringList args = failRuleArguments(number, text, batch);
        std::vector<Message> messages{MessageCatalog::make(number, args)};
        // A failing BACKUP or RESTORE always ends with 3013 naming the statement.
        const QString head = batch.trimmed().section(QRegularExpression(QStringLiteral("\\s+")), 0, 1).toUpper();
        if (number != 3013 &&
            (head.startsWith(QLatin1String("BACKUP ")) || head.startsWith(QLatin1String("RESTORE ")))) {
            QString name = head;
            if (name == QLatin1String("RESTORE FILELISTONLY"))
                name = QStringLiteral("RESTORE FILELIST");
            messages.push_back(MessageCatalog::make(3013, {name}));
        }
        for (const Message& m : messages)
            context_.sink.add(m);
        Done done;
        done.error = true;
        context_.sink.add(done);
        return true;
    }
    return false;
}

Done BatchRunner::runStatement(const Statement& st) {
    switch (st.kind) {
    case Statement::Kind::Select:
        return select(st);
    case Statement::Kind::Execute:
        return execute(st);
    case Statement::Kind::Backup:
        return BackupRestore::backup(context_, st);
    case Statement::Kind::RestoreDatabase:
        return BackupRestore::restoreDatabase(context_, st);
    case Statement::Kind::RestoreHeaderOnly:
        return BackupRestore::headerOnly(context_, st);
    case Statement::Kind::RestoreFileListOnly:
        return BackupRestore::fileListOnly(context_, st);
    case Statement::Kind::RestoreVerifyOnly:
        return BackupRestore::verifyOnly(context_, st);
    case Statement::Kind::RestoreLabelOnly:
        throw SqlError({MessageCatalog::make(3254, {st.disks.value(0)}),
                        MessageCatalog::make(3013, {QStringLiteral("RESTORE LABELONLY")})});
    case Statement::Kind::CreateTable:
        return createTable(st);
    case Statement::Kind::DropTable:
        return dropTable(st);
    case Statement::Kind::Insert:
        return insert(st);
    case Statement::Kind::Delete:
        return deleteRows(st);
    case Statement::Kind::Set:
        return set(st);
    case Statement::Kind::Use:
        return use(st);
    case Statement::Kind::AlterDatabase:
        return alterDatabase(st);
    case Statement::Kind::If: {
        Evaluator evaluator(context_);
        if (evaluator.isTrue(*st.condition, {}))
            return runStatement(*st.thenBranch);
        if (st.elseBranch)
            return runStatement(*st.elseBranch);
        return Done{};
    }
    case Statement::Kind::BeginTransaction:
    case Statement::Kind::CommitTransaction:
    case Statement::Kind::RollbackTransaction:
        return transaction(st);
    }
    return Done{};
}

ResultSet BatchRunner::sourceTable(const ObjectName& name) {
    const QString object = name.object();
    EngineState& engine = context_.engine;
    std::lock_guard lock(engine.mutex);
    if (isTempName(object)) {
        const TempTable* table = engine.tempTables.find(object);
        if (!table)
            throw SqlError(MessageCatalog::make(208, {name.written}));
        ResultSet rs;
        rs.columns = table->columns;
        rs.rows = table->rows;
        return rs;
    }
    const QString database = name.database().isEmpty() ? context_.session.database : name.database();
    const QString schema = name.schema();
    const bool schemaOk = schema.isEmpty() || schema.compare(QLatin1String("dbo"), Qt::CaseInsensitive) == 0 ||
                          schema.compare(QLatin1String("sys"), Qt::CaseInsensitive) == 0;
    if (schemaOk && !name.database().isEmpty() && !engine.catalog.find(database))
        throw SqlError(MessageCatalog::make(208, {name.written}));
    if (schemaOk && object.compare(QLatin1String("sysdatabases"), Qt::CaseInsensitive) == 0)
        return SystemTables::sysdatabases(engine.catalog);
    if (schemaOk && object.compare(QLatin1String("sysobjects"), Qt::CaseInsensitive) == 0)
        return SystemTables::sysobjects(database, engine.tempTables);
    if (schemaOk && object.compare(QLatin1String("sysprocesses"), Qt::CaseInsensitive) == 0)
        return SystemTables::sysprocesses(engine, context_.session.spid, context_.session.sysadmin);
    const bool sys = schema.compare(QLatin1String("sys"), Qt::CaseInsensitive) == 0;
    if (sys && object.compare(QLatin1String("databases"), Qt::CaseInsensitive) == 0)
        return SystemTables::databases(engine.catalog);
    if (sys && object.compare(QLatin1String("master_files"), Qt::CaseInsensitive) == 0)
        return SystemTables::masterFiles(engine);
    if (sys && object.compare(QLatin1String("dm_exec_sessions"), Qt::CaseInsensitive) == 0)
        return SystemTables::execSessions(engine, context_.session.spid, context_.session.sysadmin);
    throw SqlError(MessageCatalog::make(208, {name.written}));
}

Done BatchRunner::select(const Statement& st) {
    Evaluator evaluator(context_);
    ResultSet out;
    if (!st.from) {
        std::vector<Value> row;
        for (const SelectItem& item : st.items) {
            if (item.star)
                throw SqlError(MessageCatalog::make(263));
            Column c = evaluator.describe(*item.expr, {});
            c.name = item.alias.value_or(item.expr->kind == Expr::Kind::Column ? item.expr->name : QString());
            out.columns.push_back(c);
            row.push_back(evaluator.evaluate(*item.expr, {}));
        }
        out.rows.push_back(std::move(row));
    } else {
        ResultSet source = sourceTable(*st.from);
        std::vector<std::vector<Value>> rows;
        for (auto& row : source.rows) {
            if (!st.where || evaluator.isTrue(*st.where, {&source.columns, &row}))
                rows.push_back(std::move(row));
        }
        if (!st.orderBy.empty()) {
            // Sort keys are computed once, so a conversion error surfaces before sorting.
            std::vector<std::vector<Value>> keys;
            for (const auto& row : rows) {
                std::vector<Value> key;
                for (const OrderItem& o : st.orderBy) {
                    const auto* number = std::get_if<qint64>(&o.expr->value);
                    if (o.expr->kind == Expr::Kind::Literal && number) {
                        if (*number < 1 || *number > qint64(source.columns.size()))
                            throw SqlError(MessageCatalog::make(108, {QString::number(*number)}));
                        key.push_back(row[size_t(*number - 1)]);
                    } else {
                        key.push_back(evaluator.evaluate(*o.expr, {&source.columns, &row}));
                    }
                }
                keys.push_back(std::move(key));
            }
            std::vector<size_t> order(rows.size());
            std::iota(order.begin(), order.end(), 0);
            std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
                for (size_t k = 0; k < st.orderBy.size(); ++k) {
                    bool comparable = false;
                    int c = Evaluator::compare(keys[a][k], keys[b][k], &comparable);
                    if (!comparable) // NULL sorts first
                        c = std::holds_alternative<Null>(keys[a][k])
                                ? (std::holds_alternative<Null>(keys[b][k]) ? 0 : -1)
                                : 1;
                    if (st.orderBy[k].descending)
                        c = -c;
                    if (c != 0)
                        return c < 0;
                }
                return false;
            });
            std::vector<std::vector<Value>> sorted;
            for (size_t i : order)
                sorted.push_back(std::move(rows[i]));
            rows = std::move(sorted);
        }
        if (st.top && qint64(rows.size()) > *st.top)
            rows.resize(size_t(std::max<qint64>(0, *st.top)));
        const bool onlyStar = st.items.size() == 1 && st.items.front().star;
        if (onlyStar) {
            out.columns = source.columns;
            out.rows = std::move(rows);
        } else {
            std::vector<Value> none(source.columns.size());
            for (const SelectItem& item : st.items) {
                if (item.star) {
                    out.columns.insert(out.columns.end(), source.columns.begin(), source.columns.end());
                    continue;
                }
                Column c = evaluator.describe(*item.expr, {&source.columns, rows.empty() ? &none : &rows.front()});
                c.name = item.alias.value_or(item.expr->kind == Expr::Kind::Column ? c.name : QString());
                out.columns.push_back(c);
            }
            for (const auto& row : rows) {
                std::vector<Value> projected;
                for (const SelectItem& item : st.items) {
                    if (item.star)
                        projected.insert(projected.end(), row.begin(), row.end());
                    else
                        projected.push_back(evaluator.evaluate(*item.expr, {&source.columns, &row}));
                }
                out.rows.push_back(std::move(projected));
            }
        }
    }
    const Done done = Done::counted(doneCommand::Select, qint64(out.rows.size()));
    context_.sink.add(std::move(out));
    return done;
}

std::optional<ResultSet> BatchRunner::runProcedure(const Statement& st) {
    Evaluator evaluator(context_);
    std::vector<Value> args;
    for (const ProcArgument& a : st.arguments)
        args.push_back(a.value ? evaluator.evaluate(*a.value, {}) : Value(Null{}));
    return Procedures::run(context_, st.procedure, args);
}

Done BatchRunner::execute(const Statement& st) {
    std::optional<ResultSet> result = runProcedure(st);
    if (result) {
        Done inProc = Done::counted(doneCommand::Select, qint64(result->rows.size()));
        inProc.kind = Done::Kind::DoneInProc;
        context_.sink.add(std::move(*result));
        context_.sink.add(inProc);
    }
    context_.sink.add(ReturnStatus{0});
    Done done;
    done.kind = Done::Kind::DoneProc;
    done.currentCommand = doneCommand::Execute;
    return done;
}

Done BatchRunner::insert(const Statement& st) {
    const QString name = st.table.object();
    if (!isTempName(name))
        throw SqlError(MessageCatalog::make(208, {st.table.written}));
    std::vector<Column> columns;
    {
        std::lock_guard lock(context_.engine.mutex);
        const TempTable* table = context_.engine.tempTables.find(name);
        if (!table)
            throw SqlError(MessageCatalog::make(208, {st.table.written}));
        columns = table->columns;
    }
    std::vector<int> targets;
    if (st.insertColumns.isEmpty()) {
        targets.resize(columns.size());
        std::iota(targets.begin(), targets.end(), 0);
    } else {
        for (const QString& c : st.insertColumns) {
            const int index = Evaluator::columnIndex(columns, c);
            if (index < 0)
                throw SqlError(MessageCatalog::make(207, {c}));
            targets.push_back(index);
        }
    }
    std::vector<std::vector<Value>> input;
    if (st.insertSource) {
        if (std::optional<ResultSet> rs = runProcedure(*st.insertSource)) {
            if (rs->columns.size() != targets.size())
                throw SqlError(MessageCatalog::make(213));
            input = std::move(rs->rows);
        }
    } else {
        Evaluator evaluator(context_);
        for (const auto& exprs : st.insertValues) {
            if (exprs.size() != targets.size())
                throw SqlError(MessageCatalog::make(213));
            std::vector<Value> row;
            for (const ExprPtr& e : exprs)
                row.push_back(evaluator.evaluate(*e, {}));
            input.push_back(std::move(row));
        }
    }
    std::vector<std::vector<Value>> rows;
    for (const auto& in : input) {
        std::vector<Value> row(columns.size(), Null{});
        for (size_t i = 0; i < targets.size(); ++i)
            row[size_t(targets[i])] = in[i];
        for (size_t i = 0; i < columns.size(); ++i)
            row[i] = convertForColumn(row[i], columns[i], name);
        rows.push_back(std::move(row));
    }
    {
        std::lock_guard lock(context_.engine.mutex);
        TempTable* table = context_.engine.tempTables.find(name);
        if (!table)
            throw SqlError(MessageCatalog::make(208, {st.table.written}));
        for (auto& row : rows)
            table->rows.push_back(std::move(row));
    }
    return Done::counted(doneCommand::Insert, qint64(input.size()));
}

Done BatchRunner::deleteRows(const Statement& st) {
    const QString name = st.table.object();
    if (!isTempName(name))
        throw SqlError(MessageCatalog::make(208, {st.table.written}));
    Evaluator evaluator(context_);
    qint64 removed = 0;
    {
        std::lock_guard lock(context_.engine.mutex);
        TempTable* table = context_.engine.tempTables.find(name);
        if (!table)
            throw SqlError(MessageCatalog::make(208, {st.table.written}));
        std::vector<std::vector<Value>> kept;
        for (auto& row : table->rows) {
            if (!st.where || evaluator.isTrue(*st.where, {&table->columns, &row}))
                ++removed;
            else
                kept.push_back(std::move(row));
        }
        table->rows = std::move(kept);
    }
    return Done::counted(doneCommand::Delete, removed);
}

Done BatchRunner::createTable(const Statement& st) {
    const QString name = st.table.object();
    if (!isTempName(name))
        throw SqlError(MessageCatalog::make(262, {QStringLiteral("CREATE TABLE"), context_.session.database}));
    TempTable table;
    table.name = name;
    table.ownerSpid = context_.session.spid;
    table.created = QDateTime::currentDateTime();
    table.columns = st.columns;
    {
        std::lock_guard lock(context_.engine.mutex);
        if (!context_.engine.tempTables.create(std::move(table)))
            throw SqlError(MessageCatalog::make(2714, {name}));
    }
    Done done;
    done.currentCommand = doneCommand::CreateTable;
    return done;
}

Done BatchRunner::dropTable(const Statement& st) {
    const QString name = st.table.object();
    std::lock_guard lock(context_.engine.mutex);
    if (!isTempName(name) || !context_.engine.tempTables.drop(name))
        throw SqlError(MessageCatalog::make(3701, {st.table.written}));
    Done done;
    done.currentCommand = doneCommand::DropTable;
    return done;
}

Done BatchRunner::set(const Statement& st) {
    const QString option = st.setWords.value(0).toUpper();
    if (option == QLatin1String("LANGUAGE")) {
        // As after a USE: the notice of the change first, then the message.
        const QString old = std::exchange(context_.session.language, st.setValue);
        context_.sink.add(EnvChange{EnvChange::Kind::Language, st.setValue, old});
        context_.sink.add(MessageCatalog::make(5703, {st.setValue}));
    }
    return Done{};
}

Done BatchRunner::use(const Statement& st) {
    QString name;
    {
        std::lock_guard lock(context_.engine.mutex);
        const Database* db = context_.engine.catalog.find(st.database);
        if (!db)
            throw SqlError(MessageCatalog::make(911, {st.database}));
        if (db->isRestoring())
            throw SqlError(MessageCatalog::make(927, {db->name}));
        if (db->singleUser && !context_.engine.otherSessionsIn(db->name, context_.session.spid).empty())
            throw SqlError(MessageCatalog::make(924, {db->name}));
        name = db->name;
        context_.engine.sessionDatabases[context_.session.spid] = name;
    }
    // A real server sends the database ENVCHANGE before 5701, also when the database stays the same.
    const QString old = std::exchange(context_.session.database, name);
    context_.sink.add(EnvChange{EnvChange::Kind::Database, name, old});
    context_.sink.add(MessageCatalog::make(5701, {name}));
    return Done{};
}

// User access only: SINGLE_USER ends the other sessions when told to roll them back, and is
// refused while they are there otherwise (a real server would wait for them instead).
Done BatchRunner::alterDatabase(const Statement& st) {
    const auto failed = [](Message first) {
        throw SqlError(std::vector<Message>{std::move(first), MessageCatalog::make(5069)});
    };
    EngineState& engine = context_.engine;
    std::lock_guard lock(engine.mutex);
    const Database* found = engine.catalog.find(st.database);
    if (!found || !context_.session.sysadmin)
        failed(MessageCatalog::make(5011, {st.database}));
    if (found->isRestoring())
        failed(MessageCatalog::make(5052, {QStringLiteral("Restoring")}));
    Database db = *found;
    const QString access = st.setWords.value(0);
    if (access != QLatin1String("MULTI_USER")) {
        const bool rollback = st.setValue.startsWith(QLatin1String("ROLLBACK"));
        if (!engine.endOtherSessions(db.name, context_.session.spid, rollback))
            failed(MessageCatalog::make(5070, {db.name}));
    }
    db.singleUser = access == QLatin1String("SINGLE_USER");
    if (db.singleUser != found->singleUser) {
        const Database before = *found;
        engine.catalog.put(db);
        try {
            engine.catalog.save();
        } catch (const std::exception&) {
            engine.catalog.put(before);
            failed(MessageCatalog::make(3634,
                                        {OsError::diskFull, QStringLiteral("WriteFile"), QStringLiteral("catalog")}));
        }
    }
    Done done;
    done.currentCommand = doneCommand::None;
    return done;
}

Done BatchRunner::transaction(const Statement& st) {
    int& count = context_.session.tranCount;
    switch (st.kind) {
    case Statement::Kind::BeginTransaction:
        ++count;
        break;
    case Statement::Kind::CommitTransaction:
        if (count == 0)
            throw SqlError(MessageCatalog::make(3902));
        --count;
        break;
    default:
        if (count == 0)
            throw SqlError(MessageCatalog::make(3903));
        count = 0;
        break;
    }
    return Done{};
}

} // namespace sqlsim
