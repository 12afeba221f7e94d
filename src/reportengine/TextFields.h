#pragma once

#include <QByteArray>
#include <QStringView>

// The bytes of a text report's fields, appended to a line buffer without a QString per field.

// `d` as QString::number(d, 'g', 15) writes it.
void AppendNumberText(QByteArray &out, double d);

// `text` in UTF-8, as QString::toUtf8 writes it.
void AppendUtf8(QByteArray &out, QStringView text);

// `text` in UTF-8 with tabs and line breaks turned into blanks, so a row stays one line.
void AppendFieldText(QByteArray &out, QStringView text);
