#include "CodePage.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>

namespace {

QString g_override;

// "UTF-8", "utf8", "UTF_8": asked for every name the walk meets, so it allocates nothing.
bool IsUtf8(const QString& name) {
    static const QLatin1String kUtf8("UTF8");
    qsizetype matched = 0;
    for (const QChar c : name) {
        if (c == QLatin1Char('-') || c == QLatin1Char('_'))
            continue;
        if (matched == kUtf8.size() || c.toUpper() != kUtf8.at(matched))
            return false;
        ++matched;
    }
    return matched == kUtf8.size();
}

QString LocaleCharset() {
    // Qt has already called setlocale(LC_ALL, "") when an application object exists; a bare
    // test program may not have, so make sure the environment's locale is in force.
    static const QString charset = [] {
        std::setlocale(LC_CTYPE, "");
        const QString cs = QString::fromLatin1(nl_langinfo(CODESET));
        // The C/POSIX locale of cron and services reports plain ASCII: take UTF-8 instead.
        if (cs.isEmpty() || cs == QLatin1String("ANSI_X3.4-1968") || cs == QLatin1String("ASCII") ||
            cs == QLatin1String("US-ASCII"))
            return QStringLiteral("UTF-8");
        return cs;
    }();
    return charset;
}

size_t Utf8Length(char lead) {
    const auto b = static_cast<unsigned char>(lead);
    return b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
}

// Converts with iconv; characters the target cannot hold become '?', bytes the source cannot
// decode become U+FFFD on the way in, so a conversion never fails as a whole.
QByteArray Iconv(const QByteArray& in, const char* to, const char* from, const QByteArray& bad) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out;
    out.reserve(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = static_cast<size_t>(in.size());
    char buf[4096];
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, static_cast<qsizetype>(dst - buf));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: skip one character of the source (a whole UTF-8 sequence when
            // the source is our own text) and put a replacement in its place.
            const size_t unit = (qstrcmp(from, "UTF-8") == 0) ? Utf8Length(*src) : 1;
            const size_t skip = srcLeft < unit ? srcLeft : unit;
            src += skip;
            srcLeft -= skip;
            out.append(bad);
        }
    }
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buf, static_cast<qsizetype>(dst - buf));
    iconv_close(cd);
    return out;
}

}  // namespace

namespace CodePage {

QString Name() {
    return g_override.isEmpty() ? LocaleCharset() : g_override;
}

bool SetOverride(const QString& name) {
    const QString n = name.trimmed();
    if (n.isEmpty()) {
        g_override.clear();
        return true;
    }
    iconv_t cd = iconv_open(n.toLatin1().constData(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(cd);
    g_override = n;
    return true;
}

QByteArray FromUnicode(const QString& text) {
    const QString name = Name();
    if (IsUtf8(name))
        return text.toUtf8();
    return Iconv(text.toUtf8(), name.toLatin1().constData(), "UTF-8", QByteArrayLiteral("?"));
}

QString ToUnicode(const QByteArray& bytes) {
    const QString name = Name();
    if (IsUtf8(name))
        return QString::fromUtf8(bytes);
    const QByteArray utf16 =
        Iconv(bytes, "UTF-16LE", name.toLatin1().constData(), QByteArrayLiteral("\xFD\xFF"));
    return QString(reinterpret_cast<const QChar*>(utf16.constData()), utf16.size() / 2);
}

bool Holds(const QString& text) {
    // UTF-8 holds every character; only a lone surrogate half comes back as another one.
    if (IsUtf8(Name()))
        return text.isValidUtf16();
    return ToUnicode(FromUnicode(text)) == text;
}

}  // namespace CodePage
