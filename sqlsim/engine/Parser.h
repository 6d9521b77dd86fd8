#pragma once
// Turns a batch into statements. The whole batch is parsed before anything runs, so a
// syntax error anywhere runs nothing, as on a real server.

#include "Ast.h"
#include "Lexer.h"

#include <vector>

namespace sqlsim {

class Parser {
public:
    // Throws SqlError (102, 105, 156) for text it cannot read.
    static std::vector<Statement> parseBatch(const QString& batch);

private:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::vector<Statement> batch();
    Statement statement(bool firstInBatch);
    Statement select();
    Statement execute(bool keywordSeen);
    Statement backup();
    Statement restore();
    Statement create();
    Statement drop();
    Statement insert();
    Statement deleteFrom();
    Statement set();
    Statement use();
    Statement alterDatabase();
    Statement ifStatement();
    Statement transaction(Statement::Kind kind);
    void devices(Statement& st);
    void mediaOptions(Statement& st);
    QString textValue();

    ExprPtr expression();
    ExprPtr orExpr();
    ExprPtr andExpr();
    ExprPtr notExpr();
    ExprPtr comparison();
    ExprPtr additive();
    ExprPtr multiplicative();
    ExprPtr unary();
    ExprPtr primary();
    ObjectName objectName();
    QString identifier();
    Column columnDefinition();

    const Token& peek(int ahead = 0) const;
    const Token& next();
    bool acceptWord(const char* keyword);
    bool acceptSymbol(const char* symbol);
    void expectWord(const char* keyword);
    void expectSymbol(const char* symbol);
    bool atStatementEnd() const;
    [[noreturn]] void syntaxError() const;

    // Guards recursion, so a hostile batch gets an error instead of exhausting the stack.
    class Nesting {
    public:
        explicit Nesting(Parser& parser);
        ~Nesting() { --parser_.depth_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        Parser& parser_;
    };

    std::vector<Token> tokens_;
    size_t pos_ = 0;
    int depth_ = 0;
};

// Words that cannot serve as an alias or a bare procedure name.
bool isReservedWord(const QString& word);

} // namespace sqlsim
