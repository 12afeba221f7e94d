#include "TextFile.h"

#include "repository/AppError.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace TextFile {

static const QByteArray Utf8Bom("\xEF\xBB\xBF", 3);

static bool isAscii(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

static bool readsAsUtf8(const QByteArray &bytes, QString *out)
{
    QStringDecoder d(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString s = d.decode(bytes);
    if (d.hasError())
        return false;
    if (out)
        *out = s;
    return true;
}

static QString cp1252(const QByteArray &bytes)
{
    QStringDecoder d("windows-1252");
    return d.isValid() ? QString(d.decode(bytes)) : QString::fromLatin1(bytes);
}

QString decode(const QByteArray &bytes)
{
    if (const auto bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder d(*bom); // drops the mark
        return d.decode(bytes);
    }
    QString s;
    if (!isAscii(bytes) && readsAsUtf8(bytes, &s))
        return s;
    return cp1252(bytes);
}

QByteArray encode(const QString &text)
{
    QStringEncoder e("windows-1252");
    if (e.isValid()) {
        const QByteArray bytes = e.encode(text);
        // The encoder substitutes what it cannot map, and Windows-1252 bytes that happen to form
        // UTF-8 ("Ã©" is c3 a9) would read back as other characters: both go out as UTF-8.
        if (!e.hasError() && cp1252(bytes) == text && (isAscii(bytes) || !readsAsUtf8(bytes, nullptr)))
            return bytes;
    }
    return Utf8Bom + text.toUtf8();
}

QString read(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("Cannot read the file '") + path + QStringLiteral("': ") + f.errorString());
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("Cannot read the file '") + path + QStringLiteral("': ") + f.errorString());
    return decode(bytes);
}

void write(const QString &path, const QString &text)
{
    // Written aside and renamed over the old file, so a failed write never leaves half a text behind.
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(encode(text)) < 0 || !f.commit())
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("Cannot write the file '") + path + QStringLiteral("': ") + f.errorString());
}

} // namespace TextFile
