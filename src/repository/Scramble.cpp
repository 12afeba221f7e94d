#include "Scramble.h"

// 0x80..0x9F of Windows-1252; the five undefined codes map to the C1 control of the same value.
static const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

static constexpr char16_t kStoredZero = 0xE000;

QChar Cp1252Char(int code)
{
    if (code >= 0x80 && code <= 0x9F)
        return QChar(kHigh[code - 0x80]);
    return QChar(char16_t(code));
}

int Cp1252Code(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == u)
            return 0x80 + i;
    return -1;
}

static int codeOf(QChar c)
{
    const int code = Cp1252Code(c);
    return code >= 0 ? code : c.unicode();
}

static QChar charOf(int code) { return code < 256 ? Cp1252Char(code) : QChar(char16_t(code)); }

QString ScrambleText(QString &text, const QString &key)
{
    const qsizetype m = key.size();
    if (m == 0)
        return text;
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = charOf(codeOf(text[i]) ^ codeOf(key[i % m]));
    return text;
}

// The stored character of a scrambled code, and the code of a stored character.
static QChar storedChar(int code)
{
    if (code == 0)
        return QChar(kStoredZero);
    if (code >= 0x100) {
        const int byte = Cp1252Code(QChar(char16_t(code)));
        if (byte >= 0)
            return QChar(char16_t(byte));
    }
    return charOf(code);
}

static int storedCode(QChar c)
{
    const char16_t u = c.unicode();
    if (u == kStoredZero)
        return 0;
    if (u >= 0x80 && u <= 0x9F && kHigh[u - 0x80] >= 0x100)
        return kHigh[u - 0x80];
    return codeOf(c);
}

QString StoredPassword(const QString &typed)
{
    const QString &key = UserPasswordKey;
    QString s(typed.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < typed.size(); ++i)
        s[i] = storedChar(codeOf(typed[i]) ^ codeOf(key[i % key.size()]));
    return s;
}

QString TypedPassword(const QString &stored)
{
    const QString &key = UserPasswordKey;
    QString s(stored.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < stored.size(); ++i)
        s[i] = charOf(storedCode(stored[i]) ^ codeOf(key[i % key.size()]));
    return s;
}

bool PasswordIsStorable(const QString &typed) { return TypedPassword(StoredPassword(typed)) == typed; }
