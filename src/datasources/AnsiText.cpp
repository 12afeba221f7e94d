#include "AnsiText.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace AnsiText {

static const QByteArray Bom("\xEF\xBB\xBF", 3);

static bool isAscii(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

static bool utf8(const QByteArray &bytes, QString *out)
{
    QStringDecoder d(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = d.decode(bytes);
    if (d.hasError())
        return false;
    if (out)
        *out = s;
    return true;
}

static QString cp1252(const QByteArray &bytes)
{
    QStringDecoder d("windows-1252");
    if (!d.isValid())
        return QString::fromLatin1(bytes);
    return d.decode(bytes);
}

QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith(Bom))
        return QString::fromUtf8(bytes.mid(3));
    QString s;
    if (!isAscii(bytes) && utf8(bytes, &s))
        return s;
    return cp1252(bytes);
}

QByteArray encode(const QString &text)
{
    QStringEncoder e("windows-1252");
    if (e.isValid()) {
        const QByteArray bytes = e.encode(text);
        // Characters outside the code page come out as '?'; bytes that would read as UTF-8
        // would come back as other characters. Either way the text must go out as UTF-8.
        if (!e.hasError() && cp1252(bytes) == text && (isAscii(bytes) || !utf8(bytes, nullptr)))
            return bytes;
    }
    return Bom + text.toUtf8();
}

bool readFile(const QString &path, QString &text)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return false;
    text = decode(bytes);
    return true;
}

bool writeFile(const QString &path, const QString &text)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(encode(text)) < 0)
        return false;
    return f.commit();
}

} // namespace AnsiText
