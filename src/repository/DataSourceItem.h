#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class RepositorySession;

// A data source as the library hands it out. A new one is made directly and bound to a session
// (DataSourceItem item(session)); an existing one comes from RepositorySession::GetDataSource.
class DataSourceItem {
public:
    DataSourceItem() = default;
    explicit DataSourceItem(RepositorySession &session) : m_session(&session) {}

    qint16 IsJet = 0;
    int IdDataSource = 0; // 0 = not stored yet
    QString Description;
    QString ConnectionString;
    QString NetConnectionString;
    QString Name;

    // Inserts (IdDataSource 0, the new id is written back) or updates the row. False when the
    // name or connection string is empty. Throws when the row to update no longer exists.
    bool Save();
    // Removes the data source with its variables and their dependences. False, and nothing
    // removed, while a report (also one in the recycle bin) still reads it.
    bool Delete();

private:
    friend class RepositorySession;
    RepositorySession *m_session = nullptr;
};

using DataSourceList = QList<DataSourceItem>;

// A variable as GetVariableRows returns it. Type and SortNr stay null when stored as Null.
struct VariableRow {
    int IdVar = 0;
    int IdDataSource = 0;
    QString Name;
    QVariant Type;
    QString Caption;
    QString DefaultValue;
    QString LookupSQLString;
    QVariant SortNr;
};
using VariableRows = QList<VariableRow>;

// The other end of a dependence: the variable IdVar with its name, caption and stored type.
struct DependenceRow {
    int IdVar = 0;
    QString Name;
    QString Caption;
    QVariant Type;
};
using DependenceRows = QList<DependenceRow>;

// Change records of the variables grid: fields joined by "#$#":
//   grid row, row value (id, 0 new, negated id), Name, Type, Caption, DefaultValue,
//   LookupSQLString, SortNr.
// Every field is escaped, so a text holding "#$#" or a backslash survives the trip.
namespace ChangeRecord {
QString escape(const QString &field);
QString join(const QStringList &fields);         // escapes each field
QStringList split(const QString &record);        // unescapes each field
}
