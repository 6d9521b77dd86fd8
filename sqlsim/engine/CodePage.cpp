#include "CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <memory>

namespace sqlsim::CodePage {
namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<void, IconvCloser>;

Converter open(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    return Converter(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

bool isAscii(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

QByteArray encode(const QString& text) {
    // GBK keeps ASCII as it is; most names are ASCII, and iconv costs far more than the copy.
    if (isAscii(text))
        return text.toLatin1();
    const QByteArray utf8 = text.toUtf8();
    const Converter cd = open("GBK//TRANSLIT", "UTF-8");
    if (!cd)
        return text.toLatin1();
    QByteArray out(utf8.size() * 2 + 8, '\0');
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    char* dst = out.data();
    size_t outLeft = size_t(out.size());
    while (inLeft > 0) {
        if (iconv(static_cast<iconv_t>(cd.get()), &in, &inLeft, &dst, &outLeft) == size_t(-1)) {
            // Not representable: a '?' as a real server would store, then go on.
            if (outLeft == 0)
                break;
            *dst++ = '?';
            --outLeft;
            ++in;
            --inLeft;
            while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
                ++in;
                --inLeft;
            }
        }
    }
    out.truncate(int(dst - out.data()));
    return out;
}

QString narrowed(const QString& text) {
    return isAscii(text) ? text : decode(encode(text));
}

QString decode(const QByteArray& bytes) {
    if (std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    const Converter cd = open("UTF-8", "GBK");
    if (!cd)
        return QString::fromLatin1(bytes);
    QByteArray out(bytes.size() * 3 + 8, '\0');
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* dst = out.data();
    size_t outLeft = size_t(out.size());
    iconv(static_cast<iconv_t>(cd.get()), &in, &inLeft, &dst, &outLeft);
    out.truncate(int(dst - out.data()));
    return QString::fromUtf8(out);
}

} // namespace sqlsim::CodePage
