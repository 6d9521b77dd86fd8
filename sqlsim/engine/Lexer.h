#pragma once
// Splits a T-SQL batch into tokens: words, [quoted] and "quoted" identifiers, '...' and
// N'...' literals, numbers, @variables and symbols. Comments and blanks are dropped.

#include <QString>

#include <vector>

namespace sqlsim {

struct Token {
    enum class Kind { Word, QuotedIdentifier, String, Number, Variable, Symbol, End };
    Kind kind = Kind::End;
    QString text;          // unquoted value for identifiers and literals
    bool national = false; // N'...'
    qsizetype position = 0;

    bool isWord(const char* keyword) const {
        return kind == Kind::Word && text.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(const char* symbol) const { return kind == Kind::Symbol && text == QLatin1String(symbol); }
    bool isIdentifier() const { return kind == Kind::Word || kind == Kind::QuotedIdentifier; }
};

class Lexer {
public:
    // Throws SqlError 105 for an unclosed quote or bracket.
    static std::vector<Token> tokenize(const QString& batch);
};

} // namespace sqlsim
