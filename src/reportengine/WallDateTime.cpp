#include "WallDateTime.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>

namespace {

int digitAt(QStringView s, qsizetype i)
{
    const unsigned v = unsigned(s[i].unicode()) - '0';
    return v < 10 ? int(v) : -1;
}

// Reads `count` ASCII digits at `at`; -1 when one is not a digit.
int number(QStringView s, qsizetype at, int count)
{
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const int d = digitAt(s, at + i);
        if (d < 0)
            return -1;
        n = n * 10 + d;
    }
    return n;
}

int daysIn(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0))
        return 29;
    return days[month - 1];
}

// The forms reports hold nearly always: "yyyy-MM-dd", then optionally "T" or a blank and
// "HH:mm", ":ss", ".z" to ".zzz". False sends the text to the complete reader.
bool parseCommon(QStringView s, WallDateTime &out)
{
    const qsizetype n = s.size();
    if (n != 10 && n != 16 && n != 19 && (n < 21 || n > 23))
        return false;
    if (s[4] != u'-' || s[7] != u'-')
        return false;
    const int y = number(s, 0, 4), mo = number(s, 5, 2), d = number(s, 8, 2);
    if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > daysIn(y, mo))
        return false;
    int h = 0, mi = 0, sec = 0, ms = 0;
    if (n > 10) {
        if ((s[10] != u'T' && s[10] != u' ') || s[13] != u':')
            return false;
        h = number(s, 11, 2);
        mi = number(s, 14, 2);
        if (h < 0 || h > 23 || mi < 0 || mi > 59)
            return false;
        if (n > 16) {
            if (s[16] != u':')
                return false;
            sec = number(s, 17, 2);
            if (sec < 0 || sec > 59)
                return false;
        }
        if (n > 19) {
            if (s[19] != u'.')
                return false;
            const int digits = int(n - 20);
            ms = number(s, 20, digits);
            if (ms < 0)
                return false;
            ms *= digits == 1 ? 100 : digits == 2 ? 10 : 1;
        }
    }
    out = WallDateTime{y, mo, d, h, mi, sec, ms, true};
    return true;
}

// Every other form the report engine has always taken, read by Qt without local time: text
// that names no offset is read as UTC, which leaves the time as written.
bool parseOther(QStringView trimmed, WallDateTime &out)
{
    const QString t = trimmed.toString();
    if (t.size() == 10) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (d.isValid()) {
            out = WallDateTime::fromDate(d);
            return true;
        }
        return false;
    }
    if (t.size() > 10) {
        const QStringView rest = QStringView(t).sliced(qMin<qsizetype>(11, t.size()));
        const bool zoned = rest.endsWith(u'Z', Qt::CaseInsensitive) || rest.contains(u'+') || rest.contains(u'-');
        const QDateTime dt = QDateTime::fromString(zoned ? t : t + u'Z', Qt::ISODate);
        if (dt.isValid()) {
            out = WallDateTime::fromDateTime(dt);
            return true;
        }
    }
    // A year with a sign ("-0044-03-15 12:00:00"), which only the fixed pattern reads.
    const qsizetype blank = t.indexOf(u' ');
    if (blank > 0) {
        const QDate d = QDate::fromString(t.left(blank), QStringLiteral("yyyy-MM-dd"));
        const QTime tm = d.isValid() ? QTime::fromString(t.mid(blank + 1), QStringLiteral("HH:mm:ss")) : QTime();
        if (tm.isValid()) {
            out = WallDateTime::fromDateTime(QDateTime(d, tm, Qt::UTC));
            return true;
        }
    }
    // A date followed by anything that does not start with a digit.
    const QDate d = QDate::fromString(t, Qt::ISODate);
    if (!d.isValid())
        return false;
    out = WallDateTime::fromDate(d);
    return true;
}

char *putDigits(char *p, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = char('0' + value % 10);
        value /= 10;
    }
    return p + width;
}

} // namespace

WallDateTime WallDateTime::fromDate(const QDate &d)
{
    return WallDateTime{d.year(), d.month(), d.day(), 0, 0, 0, 0, d.isValid()};
}

WallDateTime WallDateTime::fromDateTime(const QDateTime &dt)
{
    const QDate d = dt.date();
    const QTime t = dt.time();
    return WallDateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec(), dt.isValid()};
}

void WallDateTime::appendText(QByteArray &out) const
{
    if (!valid)
        return;
    if (year < 1 || year > 9999) {
        // Years the fixed-width form cannot hold are written as Qt writes them.
        const QDate d(year, month, day);
        out += hasTime() ? QDateTime(d, QTime(hour, minute, second, msec), Qt::UTC)
                               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                               .toUtf8()
                         : d.toString(Qt::ISODate).toUtf8();
        return;
    }
    char buf[19];
    char *p = putDigits(buf, year, 4);
    *p++ = '-';
    p = putDigits(p, month, 2);
    *p++ = '-';
    p = putDigits(p, day, 2);
    if (hasTime()) {
        *p++ = ' ';
        p = putDigits(p, hour, 2);
        *p++ = ':';
        p = putDigits(p, minute, 2);
        *p++ = ':';
        p = putDigits(p, second, 2);
    }
    out.append(buf, p - buf);
}

bool ParseWallDateTime(QStringView text, WallDateTime &out)
{
    const QStringView t = text.trimmed();
    return parseCommon(t, out) || parseOther(t, out);
}

bool IsWallDateTimeText(QStringView text, const WallDateTime &value)
{
    if (!value.valid || value.year < 1 || value.year > 9999)
        return false;
    static const char form[] = "0000-00-00 00:00:00";
    const qsizetype n = value.hasTime() ? 19 : 10;
    if (text.size() != n)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (form[i] == '0' ? digitAt(text, i) < 0 : text[i] != QLatin1Char(form[i]))
            return false;
    return true;
}
