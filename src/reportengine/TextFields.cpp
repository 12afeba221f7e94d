#include "TextFields.h"

#include <QString>

#include <charconv>
#include <cmath>

void AppendNumberText(QByteArray &out, double d)
{
    char buf[48];
    if (d == 0) { // also -0, which Qt writes as "0"
        out += '0';
        return;
    }
    const double a = std::fabs(d);
    if (a < 1e15 && d == std::trunc(d)) {
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(d));
        out.append(buf, r.ptr - buf);
        return;
    }
    if (a >= 1e-4 && a < 1e15) { // written without an exponent
        // The shortest text that reads back as `d`: with at most 15 digits it is what rounding
        // to 15 digits gives. Longer, both round the exact value to 15 digits, except where it
        // lies exactly halfway: Qt rounds that up, std::to_chars to even. Only a value whose
        // shortest text has 16 digits ending in 5 can lie there; Qt writes those.
        auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
        int digits = 0;
        char last = 0;
        for (const char *p = buf; p < r.ptr; ++p)
            if (*p >= '0' && *p <= '9' && (digits > 0 || *p != '0')) {
                ++digits;
                last = *p;
            }
        if (digits <= 15) {
            out.append(buf, r.ptr - buf);
            return;
        }
        if (digits != 16 || last != '5') {
            r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
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
