#include "MacroTextFile.h"

#include "repository/AppError.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace MacroTextFile {

static const char Utf8Bom[] = "\xEF\xBB\xBF";

QByteArray encode(const QString &text)
{
    QStringEncoder ansi("windows-1252");
    if (ansi.isValid()) {
        QByteArray bytes = ansi.encode(text);
        // The encoder substitutes what it cannot map; only a lossless round trip counts.
        if (!ansi.hasError()) {
            QStringDecoder back("windows-1252");
            if (QString(back.decode(bytes)) == text && !back.hasError())
                return bytes;
        }
    }
    return QByteArray(Utf8Bom) + text.toUtf8();
}

QString decode(const QByteArray &bytes)
{
    // A byte-order mark names the encoding (UTF-8, UTF-16, UTF-32); the decoder drops the mark.
    if (const auto bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder d(*bom);
        return d.decode(bytes);
    }
    // Plain ASCII reads the same either way; text that is valid UTF-8 came from a newer tool
    // (Windows-1252 letters above 0x7F almost never form valid UTF-8 sequences).
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString asUtf8 = utf8.decode(bytes);
    if (!utf8.hasError())
        return asUtf8;
    QStringDecoder ansi("windows-1252");
    return ansi.decode(bytes);
}

QString read(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(ErrorNumber::BadFile, QStringLiteral("Cannot read the file '") + path + QStringLiteral("': ")
                                                 + f.errorString());
    return decode(f.readAll());
}

void write(const QString &path, const QString &text)
{
    // Written aside and renamed over the old file, so a failed write never leaves half a macro behind.
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(encode(text)) < 0 || !f.commit())
        throw AppError(ErrorNumber::BadFile, QStringLiteral("Cannot write the file '") + path + QStringLiteral("': ")
                                                 + f.errorString());
}

} // namespace MacroTextFile
