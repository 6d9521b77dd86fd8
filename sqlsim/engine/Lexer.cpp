#include "Lexer.h"

#include "CodePage.h"
#include "MessageCatalog.h"
#include "SqlError.h"

namespace sqlsim {
namespace {

bool isWordStart(QChar c) {
    return c.isLetter() || c == u'_' || c == u'#';
}
bool isWordPart(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'#' || c == u'$' || c == u'@';
}

[[noreturn]] void unclosed(const QString& rest) {
    throw SqlError(MessageCatalog::make(105, {rest}));
}

// Reads up to the closing quote; a doubled closing quote stands for one.
QString readQuoted(const QString& s, qsizetype& i, QChar close) {
    const qsizetype start = i;
    QString value;
    while (true) {
        if (i >= s.size())
            unclosed(s.mid(start));
        const QChar c = s.at(i++);
        if (c == close) {
            if (i < s.size() && s.at(i) == close) {
                value += close;
                ++i;
                continue;
            }
            return value;
        }
        value += c;
    }
}

} // namespace

std::vector<Token> Lexer::tokenize(const QString& s) {
    std::vector<Token> tokens;
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == u'-' && i + 1 < s.size() && s.at(i + 1) == u'-') {
            while (i < s.size() && s.at(i) != u'\n')
                ++i;
            continue;
        }
        if (c == u'/' && i + 1 < s.size() && s.at(i + 1) == u'*') {
            const qsizetype end = s.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? s.size() : end + 2;
            continue;
        }
        Token t;
        t.position = i;
        if ((c == u'N' || c == u'n') && i + 1 < s.size() && s.at(i + 1) == u'\'') {
            i += 2;
            t.kind = Token::Kind::String;
            t.national = true;
            t.text = readQuoted(s, i, u'\'');
        } else if (c == u'\'') {
            ++i;
            t.kind = Token::Kind::String;
            // A literal without N is varchar: it holds only what the code page can.
            t.text = CodePage::narrowed(readQuoted(s, i, u'\''));
        } else if (c == u'[') {
            ++i;
            t.kind = Token::Kind::QuotedIdentifier;
            t.text = readQuoted(s, i, u']');
        } else if (c == u'"') {
            ++i;
            t.kind = Token::Kind::QuotedIdentifier;
            t.text = readQuoted(s, i, u'"');
        } else if (c == u'@') {
            t.kind = Token::Kind::Variable;
            const qsizetype start = i;
            ++i;
            while (i < s.size() && isWordPart(s.at(i)))
                ++i;
            t.text = s.mid(start, i - start);
        } else if (c.isDigit() || (c == u'.' && i + 1 < s.size() && s.at(i + 1).isDigit())) {
            t.kind = Token::Kind::Number;
            const qsizetype start = i;
            while (i < s.size() && (s.at(i).isDigit() || s.at(i) == u'.'))
                ++i;
            t.text = s.mid(start, i - start);
        } else if (isWordStart(c)) {
            t.kind = Token::Kind::Word;
            const qsizetype start = i;
            while (i < s.size() && isWordPart(s.at(i)))
                ++i;
            t.text = s.mid(start, i - start);
        } else {
            t.kind = Token::Kind::Symbol;
            static const char* const pairs[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
            const QString two = s.mid(i, 2);
            bool matched = false;
            for (const char* p : pairs) {
                if (two == QLatin1String(p)) {
                    t.text = two;
                    i += 2;
                    matched = true;
                    break;
                }
            }
            if (!matched) {
                t.text = QString(c);
                ++i;
            }
        }
        if (t.kind == Token::Kind::QuotedIdentifier) {
            if (t.text.isEmpty())
                throw SqlError(MessageCatalog::make(1038));
            if (t.text.size() > 128)
                throw SqlError(MessageCatalog::make(103, {t.text.left(128)}));
        }
        tokens.push_back(std::move(t));
    }
    Token end;
    end.kind = Token::Kind::End;
    end.position = s.size();
    tokens.push_back(end);
    return tokens;
}

} // namespace sqlsim
