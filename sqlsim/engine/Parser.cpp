#include "Parser.h"

#include "MessageCatalog.h"
#include "SqlError.h"

#include <QSet>

namespace sqlsim {

bool isReservedWord(const QString& word) {
    static const QSet<QString> words{
        QStringLiteral("ADD"),      QStringLiteral("ALL"),         QStringLiteral("ALTER"),
        QStringLiteral("AND"),      QStringLiteral("AS"),          QStringLiteral("ASC"),
        QStringLiteral("BACKUP"),   QStringLiteral("BEGIN"),       QStringLiteral("BETWEEN"),
        QStringLiteral("BY"),       QStringLiteral("COMMIT"),      QStringLiteral("CREATE"),
        QStringLiteral("DATABASE"), QStringLiteral("DECLARE"),     QStringLiteral("DEFAULT"),
        QStringLiteral("DELETE"),   QStringLiteral("DESC"),        QStringLiteral("DISK"),
        QStringLiteral("DISTINCT"), QStringLiteral("DROP"),        QStringLiteral("ELSE"),
        QStringLiteral("END"),      QStringLiteral("EXEC"),        QStringLiteral("EXECUTE"),
        QStringLiteral("FILE"),     QStringLiteral("FROM"),        QStringLiteral("GO"),
        QStringLiteral("GROUP"),    QStringLiteral("HAVING"),      QStringLiteral("IF"),
        QStringLiteral("IN"),       QStringLiteral("INSERT"),      QStringLiteral("INTO"),
        QStringLiteral("IS"),       QStringLiteral("JOIN"),        QStringLiteral("LIKE"),
        QStringLiteral("NOT"),      QStringLiteral("NULL"),        QStringLiteral("ON"),
        QStringLiteral("OR"),       QStringLiteral("ORDER"),       QStringLiteral("PRINT"),
        QStringLiteral("PROC"),     QStringLiteral("PROCEDURE"),   QStringLiteral("RESTORE"),
        QStringLiteral("ROLLBACK"), QStringLiteral("SELECT"),      QStringLiteral("SET"),
        QStringLiteral("TABLE"),    QStringLiteral("TO"),          QStringLiteral("TOP"),
        QStringLiteral("TRAN"),     QStringLiteral("TRANSACTION"), QStringLiteral("UNION"),
        QStringLiteral("UPDATE"),   QStringLiteral("USE"),         QStringLiteral("VALUES"),
        QStringLiteral("WHERE"),    QStringLiteral("WITH"),
    };
    return words.contains(word.toUpper());
}

Parser::Nesting::Nesting(Parser& parser) : parser_(parser) {
    if (++parser_.depth_ > 128) {
        --parser_.depth_;
        throw SqlError(MessageCatalog::make(191));
    }
}

std::vector<Statement> Parser::parseBatch(const QString& text) {
    Parser parser(Lexer::tokenize(text));
    return parser.batch();
}

const Token& Parser::peek(int ahead) const {
    const size_t index = std::min(pos_ + static_cast<size_t>(ahead), tokens_.size() - 1);
    return tokens_[index];
}

const Token& Parser::next() {
    const Token& t = tokens_[pos_];
    if (pos_ + 1 < tokens_.size())
        ++pos_;
    return t;
}

bool Parser::acceptWord(const char* keyword) {
    if (!peek().isWord(keyword))
        return false;
    next();
    return true;
}

bool Parser::acceptSymbol(const char* symbol) {
    if (!peek().isSymbol(symbol))
        return false;
    next();
    return true;
}

void Parser::expectWord(const char* keyword) {
    if (!acceptWord(keyword))
        syntaxError();
}

void Parser::expectSymbol(const char* symbol) {
    if (!acceptSymbol(symbol))
        syntaxError();
}

void Parser::syntaxError() const {
    // At the end of the batch a real server names the last token it read.
    const Token& t = peek().kind == Token::Kind::End && pos_ > 0 ? tokens_[pos_ - 1] : peek();
    if (t.kind == Token::Kind::End)
        throw SqlError(MessageCatalog::make(102, {QString()}));
    if (t.kind == Token::Kind::Word && isReservedWord(t.text))
        throw SqlError(MessageCatalog::make(156, {t.text}));
    throw SqlError(MessageCatalog::make(102, {t.text}));
}

bool Parser::atStatementEnd() const {
    const Token& t = peek();
    if (t.kind == Token::Kind::End || t.isSymbol(";"))
        return true;
    static const char* const starters[] = {"SELECT",  "SET",    "USE",      "EXEC",   "EXECUTE", "BACKUP",
                                           "RESTORE", "CREATE", "DROP",     "INSERT", "DELETE",  "IF",
                                           "BEGIN",   "COMMIT", "ROLLBACK", "ELSE"};
    for (const char* s : starters)
        if (t.isWord(s))
            return true;
    return false;
}

std::vector<Statement> Parser::batch() {
    std::vector<Statement> statements;
    while (acceptSymbol(";")) {
    }
    while (peek().kind != Token::Kind::End) {
        statements.push_back(statement(statements.empty()));
        if (!atStatementEnd())
            syntaxError();
        while (acceptSymbol(";")) {
        }
    }
    return statements;
}

Statement Parser::statement(bool firstInBatch) {
    const Token& t = peek();
    if (t.isWord("SELECT"))
        return select();
    if (t.isWord("EXEC") || t.isWord("EXECUTE")) {
        next();
        return execute(true);
    }
    if (t.isWord("BACKUP"))
        return backup();
    if (t.isWord("RESTORE"))
        return restore();
    if (t.isWord("CREATE"))
        return create();
    if (t.isWord("DROP"))
        return drop();
    if (t.isWord("INSERT"))
        return insert();
    if (t.isWord("DELETE"))
        return deleteFrom();
    if (t.isWord("SET"))
        return set();
    if (t.isWord("USE"))
        return use();
    if (t.isWord("ALTER"))
        return alterDatabase();
    if (t.isWord("IF"))
        return ifStatement();
    if (t.isWord("BEGIN")) {
        next();
        if (!peek().isWord("TRAN") && !peek().isWord("TRANSACTION"))
            syntaxError();
        return transaction(Statement::Kind::BeginTransaction);
    }
    if (t.isWord("COMMIT")) {
        next();
        return transaction(Statement::Kind::CommitTransaction);
    }
    if (t.isWord("ROLLBACK")) {
        next();
        return transaction(Statement::Kind::RollbackTransaction);
    }
    // A procedure may be called without EXECUTE only as the first statement of a batch.
    if (firstInBatch && t.isIdentifier() && !(t.kind == Token::Kind::Word && isReservedWord(t.text)))
        return execute(false);
    syntaxError();
}

Statement Parser::transaction(Statement::Kind kind) {
    Statement st;
    st.kind = kind;
    if (acceptWord("TRAN") || acceptWord("TRANSACTION") || acceptWord("WORK")) {
        if (peek().isIdentifier() && !atStatementEnd())
            next();
    }
    return st;
}

Statement Parser::select() {
    expectWord("SELECT");
    Statement st;
    st.kind = Statement::Kind::Select;
    if (acceptWord("TOP")) {
        const bool paren = acceptSymbol("(");
        if (peek().kind != Token::Kind::Number)
            syntaxError();
        st.top = next().text.toLongLong();
        if (paren)
            expectSymbol(")");
    }
    do {
        SelectItem item;
        if (acceptSymbol("*")) {
            item.star = true;
        } else {
            item.expr = expression();
            if (acceptWord("AS")) {
                if (!peek().isIdentifier() && peek().kind != Token::Kind::String)
                    syntaxError();
                item.alias = next().text;
            } else if ((peek().kind == Token::Kind::Word && !isReservedWord(peek().text)) ||
                       peek().kind == Token::Kind::QuotedIdentifier ||
                       (peek().kind == Token::Kind::String && !peek().national)) {
                item.alias = next().text;
            } else if (peek().isSymbol("=") && item.expr->kind == Expr::Kind::Column && item.expr->args.empty()) {
                // alias = expression
                next();
                item.alias = item.expr->name;
                item.expr = expression();
            }
        }
        st.items.push_back(std::move(item));
    } while (acceptSymbol(","));
    if (acceptWord("FROM"))
        st.from = objectName();
    if (acceptWord("WHERE"))
        st.where = expression();
    if (acceptWord("ORDER")) {
        expectWord("BY");
        do {
            OrderItem item;
            item.expr = expression();
            if (acceptWord("DESC"))
                item.descending = true;
            else
                acceptWord("ASC");
            st.orderBy.push_back(std::move(item));
        } while (acceptSymbol(","));
    }
    return st;
}

Statement Parser::execute(bool keywordSeen) {
    Statement st;
    st.kind = Statement::Kind::Execute;
    // EXEC @status = proc ...
    if (keywordSeen && peek().kind == Token::Kind::Variable && peek(1).isSymbol("=")) {
        next();
        next();
    }
    if (!peek().isIdentifier())
        syntaxError();
    st.procedure = objectName();
    if (atStatementEnd())
        return st;
    do {
        ProcArgument arg;
        if (peek().kind == Token::Kind::Variable && peek(1).isSymbol("=")) {
            arg.parameter = next().text;
            next();
        }
        if (acceptWord("DEFAULT")) {
            // value stays null
        } else if (peek().kind == Token::Kind::String || peek().kind == Token::Kind::Number ||
                   peek().kind == Token::Kind::Variable || peek().isSymbol("-") || peek().isWord("NULL")) {
            arg.value = unary();
        } else if (peek().kind == Token::Kind::Word && !isReservedWord(peek().text)) {
            // An unquoted word passes as a character string, as SQL Server allows for procedure arguments.
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::Literal;
            e->value = next().text;
            arg.value = std::move(e);
        } else {
            syntaxError();
        }
        if (acceptWord("OUTPUT") || acceptWord("OUT"))
            arg.output = true;
        st.arguments.push_back(std::move(arg));
    } while (acceptSymbol(","));
    return st;
}

QString Parser::textValue() {
    const Token& t = peek();
    if (t.kind == Token::Kind::String || t.isIdentifier() || t.kind == Token::Kind::Variable)
        return next().text;
    syntaxError();
}

void Parser::mediaOptions(Statement& st) {
    if (!acceptWord("WITH"))
        return;
    do {
        MediaOption option;
        if (!peek().isIdentifier())
            syntaxError();
        option.name = next().text.toUpper();
        if (option.name == QLatin1String("MOVE")) {
            option.moveLogical = textValue();
            expectWord("TO");
            option.moveTarget = textValue();
        } else if (acceptSymbol("=")) {
            const Token& v = next();
            if (v.kind == Token::Kind::Number)
                option.value = v.text.toLongLong();
            else if (v.kind == Token::Kind::String || v.isIdentifier())
                option.value = v.text;
            else
                syntaxError();
        }
        st.options.push_back(std::move(option));
    } while (acceptSymbol(","));
}

// DISK = 'path' [, DISK = ...] and the WITH options that follow it.
void Parser::devices(Statement& st) {
    do {
        expectWord("DISK");
        expectSymbol("=");
        if (peek().kind != Token::Kind::String && peek().kind != Token::Kind::Variable)
            syntaxError();
        st.disks << next().text;
    } while (acceptSymbol(","));
    mediaOptions(st);
}

Statement Parser::backup() {
    expectWord("BACKUP");
    Statement st;
    st.kind = Statement::Kind::Backup;
    if (acceptWord("LOG"))
        st.backupLog = true;
    else if (!acceptWord("DATABASE"))
        syntaxError();
    st.database = textValue();
    expectWord("TO");
    devices(st);
    return st;
}

Statement Parser::restore() {
    expectWord("RESTORE");
    Statement st;
    if (acceptWord("DATABASE")) {
        st.kind = Statement::Kind::RestoreDatabase;
        st.database = textValue();
    } else if (acceptWord("HEADERONLY")) {
        st.kind = Statement::Kind::RestoreHeaderOnly;
    } else if (acceptWord("FILELISTONLY")) {
        st.kind = Statement::Kind::RestoreFileListOnly;
    } else if (acceptWord("VERIFYONLY")) {
        st.kind = Statement::Kind::RestoreVerifyOnly;
    } else if (acceptWord("LABELONLY")) {
        st.kind = Statement::Kind::RestoreLabelOnly;
    } else {
        syntaxError();
    }
    expectWord("FROM");
    devices(st);
    return st;
}

Column Parser::columnDefinition() {
    Column c;
    c.name = identifier();
    if (!peek().isIdentifier())
        syntaxError();
    const QString type = next().text.toLower();
    int size = 1;
    if (acceptSymbol("(")) {
        if (acceptWord("MAX")) {
            size = -1;
        } else {
            if (peek().kind != Token::Kind::Number)
                syntaxError();
            size = next().text.toInt();
            if (acceptSymbol(",")) {
                if (peek().kind != Token::Kind::Number)
                    syntaxError();
                next();
            }
        }
        expectSymbol(")");
    }
    if (type == QLatin1String("int") || type == QLatin1String("integer"))
        c.type = SqlType::Int;
    else if (type == QLatin1String("bigint"))
        c.type = SqlType::BigInt;
    else if (type == QLatin1String("smallint"))
        c.type = SqlType::SmallInt;
    else if (type == QLatin1String("tinyint"))
        c.type = SqlType::TinyInt;
    else if (type == QLatin1String("bit"))
        c.type = SqlType::Bit;
    else if (type == QLatin1String("datetime"))
        c.type = SqlType::DateTime;
    else if (type == QLatin1String("varchar") || type == QLatin1String("sysname") ||
             type == QLatin1String("nvarchar") || type == QLatin1String("char") || type == QLatin1String("nchar")) {
        c.type = type.startsWith(u'n') || type == QLatin1String("sysname") ? SqlType::NVarChar
                 : type == QLatin1String("char")                           ? SqlType::Char
                                                                           : SqlType::VarChar;
        c.size = type == QLatin1String("sysname") ? 128 : (size < 0 ? 8000 : size);
    } else {
        throw SqlError(MessageCatalog::make(2715, {QStringLiteral("2"), type}));
    }
    c.nullable = true;
    if (acceptWord("NOT")) {
        expectWord("NULL");
        c.nullable = false;
    } else {
        acceptWord("NULL");
    }
    return c;
}

Statement Parser::create() {
    expectWord("CREATE");
    expectWord("TABLE");
    Statement st;
    st.kind = Statement::Kind::CreateTable;
    st.table = objectName();
    expectSymbol("(");
    do {
        st.columns.push_back(columnDefinition());
    } while (acceptSymbol(","));
    expectSymbol(")");
    return st;
}

Statement Parser::drop() {
    expectWord("DROP");
    expectWord("TABLE");
    Statement st;
    st.kind = Statement::Kind::DropTable;
    st.table = objectName();
    return st;
}

Statement Parser::insert() {
    expectWord("INSERT");
    acceptWord("INTO");
    Statement st;
    st.kind = Statement::Kind::Insert;
    st.table = objectName();
    if (acceptSymbol("(")) {
        do {
            st.insertColumns << identifier();
        } while (acceptSymbol(","));
        expectSymbol(")");
    }
    if (acceptWord("EXEC") || acceptWord("EXECUTE")) {
        st.insertSource = std::make_unique<Statement>(execute(true));
    } else if (acceptWord("VALUES")) {
        do {
            expectSymbol("(");
            std::vector<ExprPtr> row;
            do {
                row.push_back(expression());
            } while (acceptSymbol(","));
            expectSymbol(")");
            st.insertValues.push_back(std::move(row));
        } while (acceptSymbol(","));
    } else {
        syntaxError();
    }
    return st;
}

Statement Parser::deleteFrom() {
    expectWord("DELETE");
    acceptWord("FROM");
    Statement st;
    st.kind = Statement::Kind::Delete;
    st.table = objectName();
    if (acceptWord("WHERE"))
        st.where = expression();
    return st;
}

Statement Parser::set() {
    expectWord("SET");
    Statement st;
    st.kind = Statement::Kind::Set;
    if (peek().kind == Token::Kind::End)
        syntaxError();
    while (!atStatementEnd() || st.setWords.isEmpty()) {
        const Token& t = next();
        if (t.kind == Token::Kind::End)
            break;
        st.setWords << t.text;
    }
    if (st.setWords.size() >= 2)
        st.setValue = st.setWords.last();
    return st;
}

Statement Parser::use() {
    expectWord("USE");
    Statement st;
    st.kind = Statement::Kind::Use;
    st.database = textValue();
    return st;
}

// ALTER DATABASE name SET SINGLE_USER | RESTRICTED_USER | MULTI_USER
//     [WITH ROLLBACK IMMEDIATE | WITH ROLLBACK AFTER n [SECONDS] | WITH NO_WAIT]
Statement Parser::alterDatabase() {
    expectWord("ALTER");
    expectWord("DATABASE");
    Statement st;
    st.kind = Statement::Kind::AlterDatabase;
    st.database = textValue();
    expectWord("SET");
    if (!peek().isWord("SINGLE_USER") && !peek().isWord("MULTI_USER") && !peek().isWord("RESTRICTED_USER"))
        syntaxError();
    st.setWords << next().text.toUpper();
    if (acceptWord("WITH")) {
        if (acceptWord("NO_WAIT")) {
            st.setValue = QStringLiteral("NO_WAIT");
        } else {
            expectWord("ROLLBACK");
            if (acceptWord("IMMEDIATE")) {
                st.setValue = QStringLiteral("ROLLBACK IMMEDIATE");
            } else {
                expectWord("AFTER");
                if (peek().kind != Token::Kind::Number)
                    syntaxError();
                st.setValue = QStringLiteral("ROLLBACK AFTER ") + next().text;
                acceptWord("SECONDS");
            }
        }
    }
    return st;
}

Statement Parser::ifStatement() {
    const Nesting nesting(*this);
    expectWord("IF");
    Statement st;
    st.kind = Statement::Kind::If;
    st.condition = expression();
    st.thenBranch = std::make_unique<Statement>(statement(false));
    while (acceptSymbol(";")) {
    }
    if (acceptWord("ELSE"))
        st.elseBranch = std::make_unique<Statement>(statement(false));
    return st;
}

QString Parser::identifier() {
    if (!peek().isIdentifier())
        syntaxError();
    return next().text;
}

ObjectName Parser::objectName() {
    ObjectName name;
    const qsizetype start = peek().position;
    name.parts << identifier();
    while (peek().isSymbol(".")) {
        next();
        if (peek().isSymbol(".")) {
            name.parts << QString();
            continue;
        }
        name.parts << identifier();
    }
    QStringList written;
    for (const QString& p : name.parts)
        written << p;
    name.written = written.join(u'.');
    Q_UNUSED(start)
    return name;
}

ExprPtr Parser::expression() {
    return orExpr();
}

namespace {
ExprPtr binary(const QString& op, ExprPtr left, ExprPtr right) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Kind::Binary;
    e->name = op;
    e->written = left->written + op + right->written;
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
}
} // namespace

ExprPtr Parser::orExpr() {
    ExprPtr left = andExpr();
    while (acceptWord("OR"))
        left = binary(QStringLiteral("OR"), std::move(left), andExpr());
    return left;
}

ExprPtr Parser::andExpr() {
    ExprPtr left = notExpr();
    while (acceptWord("AND"))
        left = binary(QStringLiteral("AND"), std::move(left), notExpr());
    return left;
}

ExprPtr Parser::notExpr() {
    const Nesting nesting(*this);
    if (acceptWord("NOT")) {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Unary;
        e->name = QStringLiteral("NOT");
        e->args.push_back(notExpr());
        return e;
    }
    return comparison();
}

ExprPtr Parser::comparison() {
    ExprPtr left = additive();
    static const char* const ops[] = {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"};
    for (const char* op : ops) {
        if (peek().isSymbol(op)) {
            next();
            return binary(QString::fromLatin1(op), std::move(left), additive());
        }
    }
    bool negated = false;
    if (peek().isWord("NOT") && (peek(1).isWord("LIKE") || peek(1).isWord("IN"))) {
        next();
        negated = true;
    }
    if (acceptWord("LIKE")) {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Like;
        e->negated = negated;
        e->args.push_back(std::move(left));
        e->args.push_back(additive());
        return e;
    }
    if (acceptWord("IN")) {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::In;
        e->negated = negated;
        e->args.push_back(std::move(left));
        expectSymbol("(");
        do {
            e->args.push_back(additive());
        } while (acceptSymbol(","));
        expectSymbol(")");
        return e;
    }
    if (negated)
        syntaxError();
    if (acceptWord("IS")) {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::IsNull;
        e->negated = acceptWord("NOT");
        expectWord("NULL");
        e->args.push_back(std::move(left));
        return e;
    }
    return left;
}

ExprPtr Parser::additive() {
    ExprPtr left = multiplicative();
    while (peek().isSymbol("+") || peek().isSymbol("-")) {
        const QString op = next().text;
        left = binary(op, std::move(left), multiplicative());
    }
    return left;
}

ExprPtr Parser::multiplicative() {
    ExprPtr left = unary();
    while (peek().isSymbol("*") || peek().isSymbol("/") || peek().isSymbol("%")) {
        const QString op = next().text;
        left = binary(op, std::move(left), unary());
    }
    return left;
}

ExprPtr Parser::unary() {
    const Nesting nesting(*this);
    if (peek().isSymbol("-") || peek().isSymbol("+")) {
        const QString op = next().text;
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Unary;
        e->name = op;
        e->args.push_back(unary());
        e->written = op + e->args.front()->written;
        return e;
    }
    return primary();
}

ExprPtr Parser::primary() {
    auto e = std::make_unique<Expr>();
    const Token& t = peek();
    switch (t.kind) {
    case Token::Kind::Number: {
        next();
        e->kind = Expr::Kind::Literal;
        e->written = t.text;
        if (t.text.contains(u'.'))
            e->value = t.text; // decimals are not needed; kept as text
        else
            e->value = t.text.toLongLong();
        return e;
    }
    case Token::Kind::String:
        next();
        e->kind = Expr::Kind::Literal;
        e->value = t.text;
        e->national = t.national;
        e->written = t.text;
        return e;
    case Token::Kind::Variable:
        next();
        e->kind = Expr::Kind::Variable;
        e->name = t.text;
        e->written = t.text;
        return e;
    case Token::Kind::Symbol:
        if (t.isSymbol("(")) {
            next();
            ExprPtr inner = expression();
            expectSymbol(")");
            return inner;
        }
        syntaxError();
    case Token::Kind::Word:
        if (t.isWord("NULL")) {
            next();
            e->kind = Expr::Kind::Literal;
            e->value = Null{};
            e->written = QStringLiteral("NULL");
            return e;
        }
        if (isReservedWord(t.text))
            syntaxError();
        [[fallthrough]];
    case Token::Kind::QuotedIdentifier: {
        const bool quoted = t.kind == Token::Kind::QuotedIdentifier;
        ObjectName name = objectName();
        if (!quoted && name.parts.size() == 1 && peek().isSymbol("(")) {
            next();
            e->kind = Expr::Kind::Function;
            e->name = name.parts.front().toUpper();
            e->written = name.parts.front();
            if (!peek().isSymbol(")")) {
                do {
                    if (acceptSymbol("*"))
                        continue;
                    e->args.push_back(expression());
                } while (acceptSymbol(","));
            }
            expectSymbol(")");
            return e;
        }
        if (!quoted && name.parts.size() == 1 &&
            name.parts.front().compare(QLatin1String("CURRENT_TIMESTAMP"), Qt::CaseInsensitive) == 0) {
            e->kind = Expr::Kind::Function;
            e->name = QStringLiteral("GETDATE");
            return e;
        }
        e->kind = Expr::Kind::Column;
        e->name = name.object();
        e->written = name.object();
        return e;
    }
    case Token::Kind::End:
        break;
    }
    syntaxError();
}

} // namespace sqlsim
