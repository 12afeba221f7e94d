#pragma once

#include <QString>
#include <QVariant>

#include <sqlite3.h>

// Binds a value straight to an SQLite statement as the driver would (a null text is Null). A
// text is bound without a copy: it must stay alive until the statement has run.
inline int bindSqliteValue(sqlite3_stmt *st, int n, const QVariant &v)
{
    if (v.isNull())
        return sqlite3_bind_null(st, n);
    switch (v.typeId()) {
    case QMetaType::QString: {
        const QString &s = *static_cast<const QString *>(v.constData());
        return s.isNull() ? sqlite3_bind_null(st, n)
                          : sqlite3_bind_text16(st, n, s.utf16(), int(s.size() * sizeof(QChar)), SQLITE_STATIC);
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(st, n, v.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(st, n, v.toDouble());
    default: {
        const QString s = v.toString();
        return sqlite3_bind_text16(st, n, s.utf16(), int(s.size() * sizeof(QChar)), SQLITE_TRANSIENT);
    }
    }
}
