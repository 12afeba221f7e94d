#pragma once

#include <QString>

// Reversible XOR scrambling of stored user passwords. Characters are taken as Windows-1252
// codes; characters outside that code page keep their Unicode value, so nothing typed is lost.
// A scrambled code 0 (a character equal to its key character) cannot live in a PostgreSQL
// text column, so it is stored as U+E000 and read back as code 0 before unscrambling.
QString ScrambleText(QString &text, const QString &key);

inline const QString UserPasswordKey = QStringLiteral("Vemo Tarlis Quendrova");

// The stored form of a password typed by the user, and the typed password of a stored form.
QString StoredPassword(const QString &typed);
QString TypedPassword(const QString &stored);
// False when a typed password cannot be stored unambiguously (it would scramble to U+E000).
bool PasswordIsStorable(const QString &typed);

// Windows-1252 code of a character, or -1 when the code page lacks it.
int Cp1252Code(QChar c);
QChar Cp1252Char(int code);
