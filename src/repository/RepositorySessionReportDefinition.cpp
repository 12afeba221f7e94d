#include "RepositorySession.h"

#include "AppError.h"
#include "Sql.h"

#include <QSet>
#include <QSqlError>

bool ReportDefinitionItem::SettingIsOn(const QString &stored, bool whenEmpty)
{
    const QString s = stored.trimmed().toLower();
    if (s.isEmpty())
        return whenEmpty;
    static const QSet<QString> off = {QStringLiteral("0"), QStringLiteral("false"), QStringLiteral("no"),
                                      QStringLiteral("off")};
    return !off.contains(s);
}

QString ReportDefinitionItem::SettingText(bool on, const QString &stored, bool whenEmpty)
{
    if (SettingIsOn(stored, whenEmpty) == on)
        return stored;
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// Text columns are written as empty text rather than Null, as readers expect.
static QString nonNull(const QString &s)
{
    return s.isNull() ? QStringLiteral("") : s;
}

ReportDefinitionItem RepositorySession::GetReportDefinition(int reportId)
{
    QSqlDatabase db = Connection();
    ReportDefinitionItem d;
    QSqlQuery r = Sql::exec(db, QStringLiteral("Select * From ZAT_Report Where IdReport = %1").arg(reportId));
    if (!r.next())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The report %1 does not exist.").arg(reportId));
    d.IdReport = reportId;
    d.Name = Sql::text(r, "Name");
    d.FilePath = Sql::text(r, "FilePath");
    d.Version = Sql::text(r, "Version");
    d.Description = Sql::text(r, "Description");
    d.Modified = Sql::dateTime(r, "Modified");
    d.DestinationFileAtRuntime = Sql::integer(r, "DestinationFileAtRuntime") != 0;
    d.DelExSheet = Sql::integer(r, "DelExSheet") != 0;
    d.ShowDeleted = Sql::integer(r, "ShowDeleted") != 0;
    d.IdCateg = Sql::integer(r, "IdCateg");
    d.IdUserAppCheckOut = Sql::integer(r, "IdUserAppCheckOut");

    QSqlQuery ds = Sql::exec(db, QStringLiteral(
        "Select d.IdDataSource, v.strSQLView From ZAT_ReportDS d "
        "Left Join ZAT_SQLViews v On v.IdSQLView = d.IdSQLView "
        "Where d.IdReport = %1 Order By d.IdReportDS").arg(reportId));
    if (ds.next()) {
        d.IdDataSource = Sql::integer(ds, "IdDataSource");
        d.SQLView = Sql::text(ds, "strSQLView");
    }

    QSqlQuery st = Sql::exec(db, QStringLiteral(
        "Select * From ZAT_ExcelSheetSettings Where IdReport = %1 Order By IdSetting").arg(reportId));
    if (st.next()) {
        d.SheetName = Sql::text(st, "SheetName");
        d.ShowGridLines = Sql::text(st, "ShowGridLines");
        d.ShowToolTips = Sql::text(st, "ShowToolTips");
        d.ShowAutoFilters = Sql::text(st, "ShowAutoFilters");
        d.FontName = Sql::text(st, "FontName");
        const QVariant size = st.value("FontSize");
        d.FontSize = size.isNull() ? 8 : size.toDouble();
        d.ReportTitle = Sql::text(st, "ReportTitle");
        d.FreezPanel = Sql::text(st, "FreezPanel");
        d.GroupCols = Sql::text(st, "GroupCols");
    }

    QSqlQuery cols = Sql::exec(db, QStringLiteral(
        "Select * From ZAT_ReportCols Where IdReport = %1 Order By IdReportCol").arg(reportId));
    while (cols.next()) {
        ReportColumnDefinition c;
        c.Name = Sql::text(cols, "Name");
        c.Type = Sql::integer(cols, "Type");
        c.Width = Sql::integer(cols, "Width");
        c.Hide = Sql::integer(cols, "Hide") != 0;
        c.AutoSum = Sql::integer(cols, "AutoSum") != 0;
        d.Columns.append(c);
    }

    QSqlQuery refs = Sql::exec(db, QStringLiteral(
        "Select IdMacro From ZAT_References Where Tip = 'r' And IdSource = %1 Order By IdReference").arg(reportId));
    while (refs.next()) {
        const int id = Sql::integer(refs, "IdMacro");
        if (id != 0 && !d.MacroIds.contains(id))
            d.MacroIds.append(id);
    }
    return d;
}

namespace {
// Rolls back unless committed, so a failure part-way leaves the report as it was.
class Transaction {
public:
    explicit Transaction(QSqlDatabase db) : m_db(db) { m_active = m_db.transaction(); }
    ~Transaction()
    {
        if (m_active)
            m_db.rollback();
    }
    void commit()
    {
        if (m_active && !m_db.commit())
            throw AppError(ErrorNumber::Database, m_db.lastError().text(), QStringLiteral("Velmora repository"));
        m_active = false;
    }

private:
    QSqlDatabase m_db;
    bool m_active = false;
};
} // namespace

void RepositorySession::SaveReportDefinition(ReportDefinitionItem &def)
{
    if (def.IdReport <= 0)
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("No report to save."));
    if (def.Name.trimmed().isEmpty())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The report needs a name."));
    QSqlDatabase db = Connection();
    const int me = CurrentUserId();
    const int id = def.IdReport;
    QDateTime stamp = QDateTime::currentDateTime();
    stamp.setTime(QTime(stamp.time().hour(), stamp.time().minute(), stamp.time().second()));

    Transaction tx(db);
    // Every save moves the stamp on, so a window that loaded the report before can tell.
    const QDateTime previous = Sql::toDateTime(
        Sql::scalar(db, QStringLiteral("Select Modified From ZAT_Report Where IdReport = %1").arg(id)));
    if (previous.isValid() && stamp <= previous)
        stamp = previous.addSecs(1);
    // The holder test is part of the update, so a check-out by another console between opening
    // and saving cannot be overwritten.
    QSqlQuery upd = Sql::exec(db, QStringLiteral(
        "Update ZAT_Report Set Name = ?, FilePath = ?, Version = ?, Description = ?, Modified = ?, "
        "DestinationFileAtRuntime = ?, DelExSheet = ?, ShowDeleted = ? "
        "Where IdReport = %1 And (IdUserAppCheckOut Is Null Or IdUserAppCheckOut = 0 Or IdUserAppCheckOut = %2)")
        .arg(id).arg(me),
        {def.Name, nonNull(def.FilePath), nonNull(def.Version), nonNull(def.Description), Sql::dateValue(stamp),
         def.DestinationFileAtRuntime ? 1 : 0, def.DelExSheet ? 1 : 0, def.ShowDeleted ? 1 : 0});
    if (upd.numRowsAffected() != 1) {
        if (!Sql::scalar(db, QStringLiteral("Select IdReport From ZAT_Report Where IdReport = %1").arg(id)).isValid())
            throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The report %1 does not exist.").arg(id));
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The report is checked out by another user; it was not saved."));
    }

    // Data source and view: one ZAT_ReportDS row pointing at this report's own view.
    QList<int> dsRows;
    int viewId = 0;
    {
        QSqlQuery q = Sql::exec(db, QStringLiteral(
            "Select IdReportDS, IdSQLView From ZAT_ReportDS Where IdReport = %1 Order By IdReportDS").arg(id));
        while (q.next()) {
            if (dsRows.isEmpty())
                viewId = Sql::integer(q, "IdSQLView");
            dsRows.append(Sql::integer(q, "IdReportDS"));
        }
    }
    if (dsRows.size() > 1) {
        const QList<int> extra = dsRows.mid(1);
        const QString extraIds = Sql::idList(extra);
        Sql::exec(db, QStringLiteral("Delete From ZAT_ReportDS Where IdReportDS %1").arg(extraIds));
    }
    const bool wantsLink = def.IdDataSource > 0 || !def.SQLView.isEmpty();
    if (!dsRows.isEmpty() || wantsLink) {
        bool viewOwned = false;
        if (viewId > 0) {
            const bool exists = Sql::scalar(db, QStringLiteral("Select IdSQLView From ZAT_SQLViews Where IdSQLView = %1")
                                                    .arg(viewId)).isValid();
            // A view another report also reads is left to that report.
            const bool shared = Sql::scalar(db, QStringLiteral(
                "Select IdReportDS From ZAT_ReportDS Where IdSQLView = %1 And IdReport <> %2").arg(viewId).arg(id)).isValid();
            viewOwned = exists && !shared;
        }
        if (viewOwned)
            Sql::exec(db, QStringLiteral("Update ZAT_SQLViews Set strSQLView = ? Where IdSQLView = %1").arg(viewId),
                      {nonNull(def.SQLView)});
        else
            viewId = Sql::insert(db, "ZAT_SQLViews", "IdSQLView", {{"strSQLView", nonNull(def.SQLView)},
                                                                   {"Description", QStringLiteral("")}});
        const QVariant ds = def.IdDataSource > 0 ? QVariant(def.IdDataSource) : QVariant(QMetaType(QMetaType::Int));
        if (dsRows.isEmpty())
            Sql::insert(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", id}, {"IdSQLView", viewId}, {"IdDataSource", ds}});
        else
            Sql::update(db, "ZAT_ReportDS", {{"IdSQLView", viewId}, {"IdDataSource", ds}}, "IdReportDS", dsRows.first());
    }

    // Worksheet settings: exactly one row.
    const Sql::Values settings{
        {"SheetName", nonNull(def.SheetName)},     {"ShowGridLines", nonNull(def.ShowGridLines)},
        {"ShowToolTips", nonNull(def.ShowToolTips)}, {"ShowAutoFilters", nonNull(def.ShowAutoFilters)},
        {"FontName", nonNull(def.FontName)},       {"FontSize", def.FontSize},
        {"ReportTitle", nonNull(def.ReportTitle)}, {"FreezPanel", nonNull(def.FreezPanel)},
        {"GroupCols", nonNull(def.GroupCols)}};
    const QVariant firstSetting = Sql::scalar(db, QStringLiteral(
        "Select Min(IdSetting) From ZAT_ExcelSheetSettings Where IdReport = %1").arg(id));
    if (firstSetting.isNull() || !firstSetting.isValid()) {
        Sql::Values values = settings;
        values.prepend({"IdReport", id});
        Sql::insert(db, "ZAT_ExcelSheetSettings", "IdSetting", values);
    } else {
        const int settingId = firstSetting.toInt();
        Sql::update(db, "ZAT_ExcelSheetSettings", settings, "IdSetting", settingId);
        Sql::exec(db, QStringLiteral("Delete From ZAT_ExcelSheetSettings Where IdReport = %1 And IdSetting <> %2")
                          .arg(id).arg(settingId));
    }

    // Columns and macro references are replaced; ids grow, so their order is the insertion order.
    Sql::exec(db, QStringLiteral("Delete From ZAT_ReportCols Where IdReport = %1").arg(id));
    for (const ReportColumnDefinition &c : def.Columns)
        Sql::insert(db, "ZAT_ReportCols", "IdReportCol",
                    {{"IdReport", id}, {"Name", nonNull(c.Name)}, {"Type", c.Type}, {"Width", c.Width},
                     {"Hide", c.Hide ? 1 : 0}, {"AutoSum", c.AutoSum ? 1 : 0}});
    Sql::exec(db, QStringLiteral("Delete From ZAT_References Where Tip = 'r' And IdSource = %1").arg(id));
    QSet<int> seen;
    for (int macro : def.MacroIds) {
        if (macro <= 0 || seen.contains(macro))
            continue;
        seen.insert(macro);
        Sql::insert(db, "ZAT_References", "IdReference",
                    {{"IdSource", id}, {"IdMacro", macro}, {"Tip", QStringLiteral("r")}});
    }

    tx.commit();
    def.Modified = stamp;
}

QList<QPair<int, QString>> RepositorySession::GetReportDataSourceChoices()
{
    QList<QPair<int, QString>> list;
    QSqlQuery q = Sql::exec(Connection(), QStringLiteral("Select IdDataSource, Name From ZAT_DataSource Order By Name"));
    while (q.next())
        list.append({Sql::integer(q, "IdDataSource"), Sql::text(q, "Name")});
    return list;
}
