#include "ImportRunInternal.h"
#include "SyncPairing.h"

#include <QSqlQuery>
#include <algorithm>

// ---- one report

int ImportRun::ImportReport(int sourceId)
{
    const Package &p = *m_pkg;
    const Rec &r = p.rows[sourceId];
    setStatus(QString::number(percent(m_value, m_maximum)) + QStringLiteral("% Processing report '")
              + txt(r, "Name").toString() + QLatin1Char('\''));

    // Only a pair asks the repository: other reports go on queueing rows without a statement.
    int destId = m_opt.syncPairs.value(sourceId).trimmed().isEmpty() ? 0 : guarded([&] { return partnerOf(sourceId); });
    const bool sync = destId != 0;

    QList<QPair<QString, QVariant>> row = {
        {u"Name"_s, txt(r, "Name")}, {u"FilePath"_s, txt(r, "FilePath")}, {u"Version"_s, txt(r, "Version")},
        {u"Modified"_s, date(r, "Modified")}, {u"Description"_s, txt(r, "Description")}, {u"Macro"_s, txt(r, "Macro")},
        {u"IsDeleted"_s, flag(r, "IsDeleted")},
        {u"IdExtension"_s, r.value("IdExtension").isNull() ? nullInt() : QVariant(num(r, "IdExtension"))}};
    if (sync) {
        if (heldByOther(sourceId, destId))
            return 0;
        m_synced.insert(sourceId);
        m_table = u"ZAT_Report"_s;
        guarded([&] { Sql::update(m_db, "ZAT_Report", row, "IdReport", destId); return 0; });
    } else {
        // The package's code keeps the report pairable with its origin, unless the repository
        // already has a report with that code (a second import of the same package).
        const QString packageCode = txt(r, "SyncronizeCode").toString().trimmed();
        const bool takeCode = packageCode.size() == 50
            && std::all_of(packageCode.cbegin(), packageCode.cend(), [](QChar c) { return c.isDigit() && c.unicode() < 128; })
            && !m_takenCodes.contains(packageCode);
        row << qMakePair(QStringLiteral("IdCateg"),
                         QVariant(m_opt.folders ? folderFor(idOf(r, "IdCateg")) : m_opt.idCategDest))
            << qMakePair(QStringLiteral("ShowDeleted"), QVariant(flag(r, "ShowDeleted")))
            << qMakePair(QStringLiteral("DelExSheet"), QVariant(flag(r, "DelExSheet")))
            << qMakePair(QStringLiteral("DestinationFileAtRuntime"), QVariant(flag(r, "DestinationFileAtRuntime")))
            << qMakePair(QStringLiteral("SyncronizeCode"), takeCode ? QVariant(packageCode) : QVariant(QMetaType(QMetaType::QString)));
        destId = queue("ZAT_Report", "IdReport", row);
        if (takeCode)
            m_takenCodes.insert(packageCode);
    }

    if (p.settings.contains(sourceId)) {
        const Rec &s = p.settings[sourceId];
        QList<QPair<QString, QVariant>> values = {
            {u"IdReport"_s, destId}, {u"SheetName"_s, txt(s, "SheetName")}, {u"ShowGridLines"_s, txt(s, "ShowGridLines")},
            {u"ShowToolTips"_s, txt(s, "ShowToolTips")}, {u"ShowAutoFilters"_s, txt(s, "ShowAutoFilters")},
            {u"FontName"_s, txt(s, "FontName")}, {u"FontSize"_s, realNumber(s, "FontSize", 8)},
            {u"ReportTitle"_s, txt(s, "ReportTitle")}, {u"FreezPanel"_s, txt(s, "FreezPanel")},
            {u"GroupCols"_s, txt(s, "GroupCols")}};
        const int existing = sync ? guarded([&] {
            return Sql::scalar(m_db, QStringLiteral("Select IdSetting From ZAT_ExcelSheetSettings Where IdReport = %1 "
                                                    "Order By IdSetting").arg(destId)).toInt();
        }) : 0;
        m_table = u"ZAT_ExcelSheetSettings"_s;
        if (existing != 0)
            guarded([&] { Sql::update(m_db, "ZAT_ExcelSheetSettings", values, "IdSetting", existing); return 0; });
        else
            queue("ZAT_ExcelSheetSettings", "IdSetting", values);
    }

    // Columns: a synchronised report ends up with exactly the package's columns, matched by
    // position so that the rows it keeps keep their ids.
    QList<int> existingCols;
    m_table = u"ZAT_ReportCols"_s;
    if (sync)
        existingCols = guarded([&] {
            QList<int> ids;
            QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select IdReportCol From ZAT_ReportCols Where IdReport = %1 "
                                                         "Order By IdReportCol").arg(destId));
            while (q.next())
                ids << q.value(0).toInt();
            return ids;
        });
    const Recs cols = p.columns.value(sourceId);
    for (qsizetype i = 0; i < cols.size(); ++i) {
        const Rec &c = cols[i];
        const QList<QPair<QString, QVariant>> values = {
            {u"IdReport"_s, destId}, {u"Name"_s, txt(c, "Name")}, {u"Type"_s, num(c, "Type")}, {u"Width"_s, num(c, "Width")},
            {u"Hide"_s, flag(c, "Hide")}, {u"AutoSum"_s, flag(c, "AutoSum")}};
        m_table = u"ZAT_ReportCols"_s;
        if (i < existingCols.size())
            guarded([&] { Sql::update(m_db, "ZAT_ReportCols", values, "IdReportCol", existingCols[i]); return 0; });
        else
            queue("ZAT_ReportCols", "IdReportCol", values);
    }
    if (existingCols.size() > cols.size())
        guarded([&] {
            Sql::exec(m_db, QStringLiteral("Delete From ZAT_ReportCols Where IdReportCol ")
                                + Sql::idList(existingCols.mid(cols.size())));
            return 0;
        });

    const Recs links = p.links.value(sourceId);
    const Rec *view = nullptr;
    for (const Rec &l : links) {
        auto it = p.views.constFind(idOf(l, "IdSQLView"));
        if (!l.value("IdSQLView").isNull() && it != p.views.constEnd()) {
            view = &*it;
            break;
        }
    }
    const auto dataSourceOf = [&](const Rec &link) {
        const int ds = idOf(link, "IdDataSource");
        return dataSourceMap.contains(ds) ? QVariant(dataSourceMap.value(ds)) : nullInt();
    };
    int viewId = 0;
    if (view) {
        const QList<QPair<QString, QVariant>> values = {{u"strSQLView"_s, txt(*view, "strSQLView")},
                                                        {u"Description"_s, txt(*view, "Description")}};
        if (sync) {
            struct Found { int link = 0; int view = 0; };
            const Found found = guarded([&] {
                Found f;
                QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select d.IdReportDS, v.IdSQLView From ZAT_ReportDS d "
                                                             "Left Join ZAT_SQLViews v On v.IdSQLView = d.IdSQLView "
                                                             "Where d.IdReport = %1 Order By d.IdReportDS").arg(destId));
                while (q.next()) {
                    if (f.link == 0)
                        f.link = q.value(0).toInt();
                    if (!q.value(1).isNull()) {
                        f.view = q.value(1).toInt();
                        break;
                    }
                }
                return f;
            });
            // A view another report also reads is copied first: the other report keeps its SQL.
            const bool shared = found.view != 0 && guarded([&] {
                return Sql::scalar(m_db, QStringLiteral("Select count(*) From ZAT_ReportDS Where IdSQLView = %1 "
                                                        "And IdReport <> %2").arg(found.view).arg(destId)).toInt() > 0;
            });
            if (shared) {
                viewId = queue("ZAT_SQLViews", "IdSQLView", values);
                guarded([&] {
                    Sql::exec(m_db, QStringLiteral("Update ZAT_ReportDS Set IdSQLView = %1 Where IdReport = %2 And IdSQLView = %3")
                                        .arg(viewId).arg(destId).arg(found.view));
                    return 0;
                });
            } else if (found.view != 0) {
                m_table = u"ZAT_SQLViews"_s;
                guarded([&] { Sql::update(m_db, "ZAT_SQLViews", values, "IdSQLView", found.view); return 0; });
            } else {
                // The partner had no view: the new one is linked, or it would be unreachable.
                viewId = queue("ZAT_SQLViews", "IdSQLView", values);
                if (found.link != 0)
                    guarded([&] { Sql::update(m_db, "ZAT_ReportDS", {{u"IdSQLView"_s, viewId}}, "IdReportDS", found.link); return 0; });
                else
                    queue("ZAT_ReportDS", "IdReportDS",
                        {{u"IdReport"_s, destId}, {u"IdSQLView"_s, viewId},
                         {u"IdDataSource"_s, links.isEmpty() ? nullInt() : dataSourceOf(links.first())}});
            }
        } else {
            viewId = queue("ZAT_SQLViews", "IdSQLView", values);
        }
    }
    if (!sync) {
        if (!links.isEmpty())
            queue("ZAT_ReportDS", "IdReportDS",
                {{u"IdReport"_s, destId}, {u"IdSQLView"_s, viewId}, {u"IdDataSource"_s, dataSourceOf(links.first())}});
        if (p.sortRows.contains(sourceId))
            queue("ZAT_Sort", "IdSort",
                {{u"ItemType"_s, "e"}, {u"IdItem"_s, destId}, {u"SortNr"_s, num(p.sortRows[sourceId], "SortNr")}});
    }
    return destId;
}

int ImportRun::partnerOf(int sourceId)
{
    const QString code = m_opt.syncPairs.value(sourceId).trimmed();
    // A pair made for another package (the dialog keeps its pairs when a new package is
    // chosen) must not overwrite a report with a stranger's content: the codes must agree.
    // A pair whose partner is gone (or never existed) brings the report in as a new one.
    if (code.isEmpty() || code != m_pkg->reports.value(sourceId).code.trimmed())
        return 0;
    return FindSyncPartner(m_db, code);
}

ImportRun::Holder ImportRun::checkOutHolder(int destId)
{
    Holder found;
    QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select r.Name, r.IdUserAppCheckOut, u.%1 As Login, u.UserFName, u.UserLName "
                                                 "From ZAT_Report r Left Join ZAT_UserApp u On u.IdUserApp = r.IdUserAppCheckOut "
                                                 "Where r.IdReport = %2").arg(Sql::userColumn()).arg(destId));
    if (q.next()) {
        found.id = Sql::integer(q, "IdUserAppCheckOut");
        found.report = Sql::text(q, "Name");
        const QString full = (Sql::text(q, "UserFName") + QLatin1Char(' ') + Sql::text(q, "UserLName")).trimmed();
        found.who = Sql::text(q, "Login");
        if (!full.isEmpty() && full != found.who)
            found.who += QStringLiteral(" (") + full + QLatin1Char(')');
        if (found.who.isEmpty())
            found.who = QStringLiteral("user %1").arg(found.id);
    }
    return found;
}

// A partner that another user holds checked out is left as it is and named in the outcome.
bool ImportRun::heldByOther(int sourceId, int destId)
{
    const Holder h = guarded([&] { return checkOutHolder(destId); });
    if (!heldByOtherUser(h))
        return false;
    heldReports << HeldReport{sourceId, destId, h.report, h.who};
    return true;
}

QString ImportRun::heldText(const HeldReport &held)
{
    return QStringLiteral("The report '%1' (%2) is checked out by %3 and was left unchanged.")
        .arg(held.name)
        .arg(held.destinationId)
        .arg(held.holder);
}

// The package's folder chain of a new report, recreated under the destination category; a
// folder of the same name under the same parent is reused.
int ImportRun::folderFor(int packageCategory)
{
    const Package &p = *m_pkg;
    QList<int> chain;
    QSet<int> seen;
    for (int c = packageCategory; c > 2 && p.categories.contains(c) && !seen.contains(c);
         c = idOf(p.categories[c], "IdParent")) {
        seen.insert(c);
        if (categoryMap.contains(c))
            break;
        chain.prepend(c);
    }
    if (chain.isEmpty()) // in the package's root, or a folder placed before
        return categoryMap.value(packageCategory, m_opt.idCategDest);
    int parent = categoryMap.value(idOf(p.categories[chain.first()], "IdParent"), m_opt.idCategDest);
    for (int c : chain) {
        const Rec &row = p.categories[c];
        const QVariant name = txt(row, "Name");
        // Folders are written at once, so this lookup needs no queued row flushed before it.
        int id = Sql::scalar(m_db, QStringLiteral("Select IdCateg From ZAT_Category Where IdParent = %1 And Name = ? "
                                                  "And Coalesce(IsDeleted, 0) = 0 Order By IdCateg").arg(parent),
                             {name}).toInt();
        if (id == 0) {
            id = add("ZAT_Category", "IdCateg",
                     {{u"Name"_s, name}, {u"Description"_s, txt(row, "Description")}, {u"IdParent"_s, parent},
                      {u"IsDeleted"_s, 0}, {u"ShowDeleted"_s, 0}});
            queue("ZAT_Sort", "IdSort", {{u"ItemType"_s, "c"}, {u"IdItem"_s, id}, {u"SortNr"_s, p.categorySortNr.value(c)}});
        }
        categoryMap.insert(c, id);
        parent = id;
    }
    return parent;
}
