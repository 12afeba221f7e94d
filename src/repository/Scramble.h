#pragma once

#include <QString>

// Reversible XOR scrambling of stored user passwords. Characters are taken as Windows-1252
// codes; characters outside that code page keep their Unicode value, so nothing typed is lost.
QString ScrambleText(QString &text, const QString &key);

inline const QString UserPasswordKey = QStringLiteral("Vemo Tarlis Quendrova");

// The stored form of a password typed by the user, and the typed password of a stored form.
// Two scrambled codes have no character of their own to be stored as: code 0 (a PostgreSQL text
// column holds no NUL) is stored as U+E000, and a code of 0x100 and above whose character
// Windows-1252 keeps at a byte of 0x80..0x9F (U+0152 is byte 0x8C) is stored as the C1 control
// of that byte (U+008C), which Windows-1252 leaves unused and earlier stored forms never hold.
QString StoredPassword(const QString &typed);
QString TypedPassword(const QString &stored);
// False when a typed password would not read back exactly (control characters, and the one
// private-use character per position that scrambles to U+E000).
bool PasswordIsStorable(const QString &typed);

// Windows-1252 code of a character, or -1 when the code page lacks it.
int Cp1252Code(QChar c);
QChar Cp1252Char(int code);
