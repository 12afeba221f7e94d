#include "RepositorySession.h"

#include "AppError.h"
#include "DataSourceItem.h"
#include "Sql.h"

#include <QHash>
#include <QQueue>
#include <QSet>

// ---- change records

namespace ChangeRecord {

QString escape(const QString &field)
{
    QString out;
    out.reserve(field.size());
    for (const QChar c : field) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('#'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

QString join(const QStringList &fields)
{
    QStringList escaped;
    escaped.reserve(fields.size());
    for (const QString &f : fields)
        escaped << escape(f);
    return escaped.join(IdNameSeparator);
}

QStringList split(const QString &record)
{
    QStringList fields;
    QString current;
    const int n = int(record.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = record.at(i);
        if (c == QLatin1Char('\\') && i + 1 < n) {
            current += record.at(++i);
        } else if (c == QLatin1Char('#') && record.mid(i, 3) == IdNameSeparator) {
            fields << current;
            current.clear();
            i += 2;
        } else {
            current += c;
        }
    }
    fields << current;
    return fields;
}

} // namespace ChangeRecord

// ---- data sources

static QVariant textOrEmpty(const QString &s) { return s.isNull() ? QString(QLatin1String("")) : s; }

static DataSourceItem dataSourceFrom(const QSqlQuery &q, RepositorySession *session)
{
    DataSourceItem d(*session);
    d.IdDataSource = Sql::integer(q, "IdDataSource");
    d.Name = Sql::text(q, "Name");
    d.ConnectionString = Sql::text(q, "DataSourceString");
    d.NetConnectionString = Sql::text(q, "NetConnectionString");
    d.Description = Sql::text(q, "Description");
    d.IsJet = qint16(Sql::integer(q, "IsJet"));
    return d;
}

DataSourceList RepositorySession::GetDataSourceList()
{
    DataSourceList out;
    QSqlQuery q = Sql::exec(Connection(), QStringLiteral("Select * From ZAT_DataSource Order By Name, IdDataSource"));
    while (q.next())
        out << dataSourceFrom(q, this);
    return out;
}

DataSourceItem RepositorySession::GetDataSource(int idDataSource)
{
    QSqlQuery q = Sql::exec(Connection(),
                            QStringLiteral("Select * From ZAT_DataSource Where IdDataSource = %1").arg(idDataSource));
    if (!q.next())
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The data source %1 does not exist.").arg(idDataSource));
    return dataSourceFrom(q, this);
}

int RepositorySession::DataSourceReportCount(int idDataSource)
{
    // Reports in the recycle bin count: restoring one must find its data source again.
    return Sql::scalar(Connection(), QStringLiteral("Select Count(Distinct ds.IdReport) From ZAT_ReportDS ds "
                                                    "Join ZAT_Report r On r.IdReport = ds.IdReport "
                                                    "Where ds.IdDataSource = %1")
                                         .arg(idDataSource))
        .toInt();
}

int RepositorySession::DataSourceVariableCount(int idDataSource)
{
    return Sql::scalar(Connection(),
                       QStringLiteral("Select Count(*) From ZAT_Var Where IdDataSource = %1").arg(idDataSource))
        .toInt();
}

namespace {
// One transaction around a multi-statement change; joins an outer one when there is one.
class Transaction {
public:
    explicit Transaction(QSqlDatabase db) : m_db(db) { m_own = m_db.transaction(); }
    void commit()
    {
        if (m_own && !m_db.commit())
            throw AppError(ErrorNumber::Database, QStringLiteral("The changes could not be committed."));
        m_own = false;
    }
    ~Transaction()
    {
        if (m_own)
            m_db.rollback();
    }

private:
    QSqlDatabase m_db;
    bool m_own = false;
};
} // namespace

bool DataSourceItem::Save()
{
    if (!m_session)
        throw AppError(ErrorNumber::NotConnected, QStringLiteral("The data source is not bound to a repository."));
    if (Name.isEmpty() || ConnectionString.isEmpty())
        return false;
    QSqlDatabase db = m_session->Connection();
    const Sql::Values values{{"Name", Name},
                             {"DataSourceString", ConnectionString},
                             {"NetConnectionString", textOrEmpty(NetConnectionString)},
                             {"Description", textOrEmpty(Description)},
                             {"IsJet", int(IsJet)}};
    if (IdDataSource == 0) {
        IdDataSource = Sql::insert(db, "ZAT_DataSource", "IdDataSource", values);
        return true;
    }
    if (!Sql::scalar(db, QStringLiteral("Select 1 From ZAT_DataSource Where IdDataSource = %1").arg(IdDataSource)).isValid())
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The data source '%1' no longer exists in the repository.").arg(Name));
    Sql::update(db, "ZAT_DataSource", values, "IdDataSource", IdDataSource);
    return true;
}

bool DataSourceItem::Delete()
{
    if (!m_session)
        throw AppError(ErrorNumber::NotConnected, QStringLiteral("The data source is not bound to a repository."));
    if (IdDataSource <= 0 || m_session->DataSourceReportCount(IdDataSource) > 0)
        return false;
    QSqlDatabase db = m_session->Connection();
    Transaction tx(db);
    const QString vars = QStringLiteral("(Select IdVar From ZAT_Var Where IdDataSource = %1)").arg(IdDataSource);
    Sql::exec(db, QStringLiteral("Delete From ZAT_Dependences Where IdVar In %1 Or Iddep In %1").arg(vars));
    Sql::exec(db, QStringLiteral("Delete From ZAT_Var Where IdDataSource = %1").arg(IdDataSource));
    QSqlQuery q = Sql::exec(db, QStringLiteral("Delete From ZAT_DataSource Where IdDataSource = %1").arg(IdDataSource));
    const bool removed = q.numRowsAffected() > 0;
    tx.commit();
    return removed;
}

// ---- variables

VariableRows RepositorySession::GetVariableRows(int idDataSource, int leaveOutIdVar)
{
    QString sql = QStringLiteral("Select IdVar, IdDataSource, Name, Type, Caption, DefaultValue, LookupSQLString, SortNr "
                                 "From ZAT_Var Where IdDataSource = %1")
                      .arg(idDataSource);
    if (leaveOutIdVar != 0)
        sql += QStringLiteral(" And IdVar <> %1").arg(leaveOutIdVar);
    sql += QStringLiteral(" Order By Coalesce(SortNr, 0), IdVar");
    VariableRows out;
    QSqlQuery q = Sql::exec(Connection(), sql);
    while (q.next()) {
        VariableRow r;
        r.IdVar = Sql::integer(q, "IdVar");
        r.IdDataSource = Sql::integer(q, "IdDataSource");
        r.Name = Sql::text(q, "Name");
        r.Type = q.value("Type").isNull() ? QVariant() : QVariant(q.value("Type").toInt());
        r.Caption = Sql::text(q, "Caption");
        r.DefaultValue = Sql::text(q, "DefaultValue");
        r.LookupSQLString = Sql::text(q, "LookupSQLString");
        r.SortNr = q.value("SortNr").isNull() ? QVariant() : QVariant(q.value("SortNr").toInt());
        out << r;
    }
    return out;
}

static QVariant typeValue(const QString &text)
{
    // A row typed without choosing a type is a String variable, as the editors show it.
    if (text.trimmed().isEmpty())
        return 1;
    bool ok = false;
    const int t = text.trimmed().toInt(&ok);
    return ok ? QVariant(t) : QVariant(1);
}

bool RepositorySession::SaveVariables(int idDataSource, QStringList &changes, const QList<int> &deletedIds)
{
    QSqlDatabase db = Connection();
    if (!Sql::scalar(db, QStringLiteral("Select 1 From ZAT_DataSource Where IdDataSource = %1").arg(idDataSource)).isValid())
        return false;
    QList<QStringList> records;
    records.reserve(changes.size());
    for (const QString &c : changes) {
        QStringList f = ChangeRecord::split(c);
        if (f.size() < 8)
            throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("A change record of a variable is incomplete."));
        records << f;
    }

    Transaction tx(db);
    QList<int> gone;
    for (int id : deletedIds)
        if (id != 0)
            gone << qAbs(id);
    if (!gone.isEmpty()) {
        const QString ids = Sql::idList(gone);
        // Only this data source's variables; their dependences go with them, both ways.
        const QString owned = QStringLiteral("(Select IdVar From ZAT_Var Where IdDataSource = %1 And IdVar %2)")
                                  .arg(QString::number(idDataSource), ids);
        Sql::exec(db, QStringLiteral("Delete From ZAT_Dependences Where IdVar In %1 Or Iddep In %1").arg(owned));
        Sql::exec(db, QStringLiteral("Delete From ZAT_Var Where IdDataSource = %1 And IdVar %2")
                          .arg(QString::number(idDataSource), ids));
    }

    for (QStringList &f : records) {
        int id = qAbs(f.at(1).toInt());
        const Sql::Values values{{"Name", f.at(2)},
                                 {"Type", typeValue(f.at(3))},
                                 {"Caption", f.at(4)},
                                 {"DefaultValue", f.at(5)},
                                 {"LookupSQLString", f.at(6)},
                                 {"SortNr", f.at(7).toInt()}};
        bool stored = false;
        if (id != 0) {
            QVariantList binds;
            QStringList sets;
            for (const auto &[name, value] : values) {
                sets << name + QStringLiteral(" = ?");
                binds << value;
            }
            QSqlQuery q = Sql::exec(db, QStringLiteral("Update ZAT_Var Set %1 Where IdVar = %2 And IdDataSource = %3")
                                            .arg(sets.join(QStringLiteral(", ")), QString::number(id),
                                                 QString::number(idDataSource)),
                                    binds);
            stored = q.numRowsAffected() > 0;
        }
        // A variable removed meanwhile is stored again rather than losing what was typed.
        if (!stored) {
            Sql::Values withOwner = values;
            withOwner.prepend({"IdDataSource", idDataSource});
            id = Sql::insert(db, "ZAT_Var", "IdVar", withOwner);
        }
        f[1] = QString::number(id);
    }
    tx.commit();

    for (int i = 0; i < records.size(); ++i)
        changes[i] = ChangeRecord::join(records.at(i));
    return true;
}

// ---- dependences

static DependenceRows dependenceRows(QSqlQuery q)
{
    DependenceRows out;
    while (q.next()) {
        DependenceRow r;
        r.IdVar = Sql::integer(q, "IdOther");
        r.Name = Sql::text(q, "Name");
        r.Caption = Sql::text(q, "Caption");
        r.Type = q.value("Type").isNull() ? QVariant() : QVariant(q.value("Type").toInt());
        out << r;
    }
    return out;
}

DependenceRows RepositorySession::GetDependenceRows(int idVar, bool dependsOn)
{
    QSqlDatabase db = Connection();
    if (dependsOn)
        return dependenceRows(Sql::exec(db, QStringLiteral("Select d.Iddep As IdOther, v.Name, v.Caption, v.Type "
                                                           "From ZAT_Dependences d Join ZAT_Var v On v.IdVar = d.Iddep "
                                                           "Where d.IdVar = %1 Order By Coalesce(v.SortNr, 0), v.IdVar")
                                                .arg(idVar)));
    // Either direction stands in the way of deleting the variable: neither may be left dangling.
    return dependenceRows(Sql::exec(
        db, QStringLiteral("Select x.IdOther, v.Name, v.Caption, v.Type From ("
                           "Select Iddep As IdOther From ZAT_Dependences Where IdVar = %1 "
                           "Union Select IdVar As IdOther From ZAT_Dependences Where Iddep = %1) x "
                           "Join ZAT_Var v On v.IdVar = x.IdOther Order By Coalesce(v.SortNr, 0), v.IdVar")
                .arg(idVar)));
}

QStringList RepositorySession::DependenceCycle(int idVar, const QList<int> &dependsOn)
{
    QSqlDatabase db = Connection();
    QHash<int, QList<int>> edges;
    QHash<int, QString> names;
    QSqlQuery v = Sql::exec(db, QStringLiteral("Select IdVar, Name From ZAT_Var Where IdDataSource = "
                                               "(Select IdDataSource From ZAT_Var Where IdVar = %1)")
                                    .arg(idVar));
    while (v.next())
        names.insert(Sql::integer(v, "IdVar"), Sql::text(v, "Name"));
    QSqlQuery d = Sql::exec(db, QStringLiteral("Select d.IdVar, d.Iddep From ZAT_Dependences d "
                                               "Join ZAT_Var v On v.IdVar = d.IdVar Where v.IdDataSource = "
                                               "(Select IdDataSource From ZAT_Var Where IdVar = %1)")
                                    .arg(idVar));
    while (d.next()) {
        const int from = Sql::integer(d, "IdVar");
        if (from != idVar) // its own edges are the ones being replaced
            edges[from] << Sql::integer(d, "Iddep");
    }
    auto name = [&](int id) { return names.value(id, QString::number(id)); };
    for (int start : dependsOn) {
        if (start == idVar)
            return {name(idVar), name(idVar)};
        // Breadth-first from the new dependence: reaching idVar closes a cycle.
        QHash<int, int> cameFrom;
        QQueue<int> todo;
        todo.enqueue(start);
        cameFrom.insert(start, start);
        while (!todo.isEmpty()) {
            const int at = todo.dequeue();
            for (int next : edges.value(at)) {
                if (cameFrom.contains(next))
                    continue;
                cameFrom.insert(next, at);
                if (next == idVar) {
                    QStringList path{name(idVar)};
                    for (int p = at;; p = cameFrom.value(p)) {
                        path.prepend(name(p));
                        if (p == start)
                            break;
                    }
                    return path;
                }
                todo.enqueue(next);
            }
        }
    }
    return {};
}

bool RepositorySession::SaveDependences(int idVar, const QList<int> &dependsOn)
{
    QSqlDatabase db = Connection();
    QList<int> wanted;
    QSet<int> seen;
    for (int id : dependsOn)
        if (!seen.contains(id)) {
            seen.insert(id);
            wanted << id;
        }
    if (!wanted.isEmpty()) {
        // Only other variables of the same data source, and never a cycle.
        const int same = Sql::scalar(db, QStringLiteral("Select Count(*) From ZAT_Var Where IdVar %1 And IdVar <> %2 "
                                                        "And IdDataSource = (Select IdDataSource From ZAT_Var Where IdVar = %2)")
                                             .arg(Sql::idList(wanted), QString::number(idVar)))
                             .toInt();
        if (same != wanted.size() || !DependenceCycle(idVar, wanted).isEmpty())
            return false;
    }
    Transaction tx(db);
    Sql::exec(db, QStringLiteral("Delete From ZAT_Dependences Where IdVar = %1").arg(idVar));
    for (int id : wanted)
        Sql::insert(db, "ZAT_Dependences", "ID", {{"IdVar", idVar}, {"Iddep", id}});
    tx.commit();
    return true;
}

void RepositorySession::DeleteDependences(int idVar)
{
    Sql::exec(Connection(), QStringLiteral("Delete From ZAT_Dependences Where IdVar = %1 Or Iddep = %1").arg(idVar));
}
