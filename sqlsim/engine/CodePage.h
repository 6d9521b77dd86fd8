#pragma once
// The server's 8-bit code page: Chinese_PRC_CI_AS, code page 936 (GBK). varchar values and
// '...' literals (without N) live in it, so a character it lacks is stored as '?', as a real
// server does; nvarchar and N'...' keep every character.

#include <QByteArray>
#include <QString>

namespace sqlsim::CodePage {

// The bytes of the text in code page 936; an unmappable character becomes one '?'.
QByteArray encode(const QString& text);

// The text as a varchar holds it: through code page 936 and back.
QString narrowed(const QString& text);

// Bytes in code page 936 (a client's varchar value) as text; invalid bytes end the text.
QString decode(const QByteArray& bytes);

} // namespace sqlsim::CodePage
