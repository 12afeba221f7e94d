#include "TextFields.h"

#include <QString>

#include <charconv>
#include <cmath>

void AppendNumberText(QByteArray &out, double d)
{
    char buf[40];
    if (d == 0) { // also -0, which Qt writes as "0"
        out += '0';
        return;
    }
    if (std::isfinite(d)) {
        if (std::fabs(d) < 1e15 && d == std::trunc(d)) {
            const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(d));
            out.append(buf, r.ptr - buf);
            return;
        }
        // Both round the exact value to 15 digits, except where it lies exactly halfway: Qt rounds
        // that up, std::to_chars to even. Only a value whose shortest form has 16 digits ending
        // in 5 can lie there; those, and exponent forms, are left to Qt.
        const auto shortest = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
        int digits = 0;
        char last = 0;
        for (const char *p = buf; p < shortest.ptr && *p != 'e'; ++p)
            if (*p >= '0' && *p <= '9') {
                ++digits;
                last = *p;
            }
        if (digits != 16 || last != '5') {
            const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
            if (std::char_traits<char>::find(buf, r.ptr - buf, 'e') == nullptr) {
                out.append(buf, r.ptr - buf);
                return;
            }
        }
    }
    out += QString::number(d, 'g', 15).toLatin1();
}

namespace {

// Plain ASCII is copied a byte a character, blanking tabs and line breaks when asked; past it
// Qt's encoder decides, surrogates and all.
void append(QByteArray &out, QStringView text, bool blanks)
{
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char *p = out.data() + start;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80) {
            out.resize(start + i);
            QString rest = text.sliced(i).toString();
            if (blanks)
                for (QChar &ch : rest)
                    if (ch == u'\t' || ch == u'\n' || ch == u'\r')
                        ch = u' ';
            out += rest.toUtf8();
            return;
        }
        p[i] = blanks && (c == '\t' || c == '\n' || c == '\r') ? ' ' : char(c);
    }
}

} // namespace

void AppendUtf8(QByteArray &out, QStringView text)
{
    append(out, text, false);
}

void AppendFieldText(QByteArray &out, QStringView text)
{
    append(out, text, true);
}
