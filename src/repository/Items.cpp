#include "Items.h"

#include "AppError.h"
#include "RepositorySession.h"
#include "Sql.h"

bool CategoryItem::Save()
{
    if (IdCategory <= 0)
        return false;
    Sql::update(m_db, "ZAT_Category", {{"Name", Sql::nullableText(Name)}, {"Description", Description.isNull() ? QString("") : Description}},
                "IdCateg", IdCategory);
    return true;
}

bool ReportItem::Save()
{
    if (IdReport <= 0)
        return false;
    const QDateTime loaded = Modified;
    Modified = QDateTime::currentDateTime();
    Modified.setTime(QTime(Modified.time().hour(), Modified.time().minute(), Modified.time().second()));
    // Every save moves the stamp on, so a window that loaded the report before can tell.
    if (loaded.isValid() && Modified <= loaded)
        Modified = loaded.addSecs(1);
    Sql::update(m_db, "ZAT_Report",
                {{"Name", Sql::nullableText(Name)}, {"FilePath", FilePath}, {"Version", Version},
                 {"Description", Description}, {"Modified", Sql::dateValue(Modified)}},
                "IdReport", IdReport);
    return true;
}

CategoryItem CategoryItem::fromRow(const QSqlQuery &q, const QSqlDatabase &db)
{
    CategoryItem c;
    c.m_db = db;
    c.IdCategory = Sql::integer(q, "IdCateg");
    c.Name = q.value("Name").isNull() ? QString() : q.value("Name").toString();
    c.Description = Sql::text(q, "Description");
    c.IdParent = Sql::integer(q, "IdParent");
    c.SortNr = Sql::integer(q, "SortNr");
    c.IsDeleted = Sql::integer(q, "IsDeleted") != 0;
    return c;
}

ReportItem ReportItem::fromRow(const QSqlQuery &q, const QSqlDatabase &db)
{
    ReportItem r;
    r.m_db = db;
    r.IdReport = Sql::integer(q, "IdReport");
    r.Name = q.value("Name").isNull() ? QString() : q.value("Name").toString();
    r.FilePath = Sql::text(q, "FilePath");
    r.Version = Sql::text(q, "Version");
    r.Modified = Sql::dateTime(q, "Modified");
    r.Description = Sql::text(q, "Description");
    r.IdCateg = Sql::integer(q, "IdCateg");
    r.SortNr = Sql::integer(q, "SortNr");
    r.IdExtension = Sql::integer(q, "IdExtension");
    r.IsDeleted = Sql::integer(q, "IsDeleted") != 0;
    r.IdUserAppCheckOut = Sql::integer(q, "IdUserAppCheckOut");
    return r;
}

CategoryItem RepositorySession::GetCategory(int id)
{
    QSqlDatabase db = Connection();
    QSqlQuery q = Sql::exec(db, QStringLiteral(
        "Select c.*, (Select Min(s.SortNr) From ZAT_Sort s Where s.ItemType = 'c' And s.IdItem = c.IdCateg) As SortNr "
        "From ZAT_Category c Where c.IdCateg = %1").arg(id));
    if (!q.next())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The category %1 does not exist.").arg(id));
    return CategoryItem::fromRow(q, db);
}

ReportItem RepositorySession::GetReport(int id)
{
    QSqlDatabase db = Connection();
    QSqlQuery q = Sql::exec(db, QStringLiteral(
        "Select r.*, (Select Min(s.SortNr) From ZAT_Sort s Where s.ItemType = 'e' And s.IdItem = r.IdReport) As SortNr "
        "From ZAT_Report r Where r.IdReport = %1").arg(id));
    if (!q.next())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The report %1 does not exist.").arg(id));
    return ReportItem::fromRow(q, db);
}
