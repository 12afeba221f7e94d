#include "ImportRunInternal.h"
#include "SyncPairing.h"

#include <QSqlQuery>

// ---- one report

int ImportRun::ImportReport(int sourceId)
{
    const Package &p = *m_pkg;
    const Rec &r = p.reports[sourceId];
    setStatus(QString::number(percent(m_value, m_maximum)) + QStringLiteral("% Processing report '")
              + txt(r, "Name").toString() + QLatin1Char('\''));

    int destId = 0;
    const QString code = m_opt.syncPairs.value(sourceId).trimmed();
    // A pair made for another package (the dialog keeps its pairs when a new package is
    // chosen) must not overwrite a report with a stranger's content: the codes must agree.
    if (!code.isEmpty() && code == txt(r, "SyncronizeCode").toString().trimmed())
        destId = guarded([&] { return FindSyncPartner(m_db, code); });
    // A pair whose partner is gone (or never existed) brings the report in as a new one.
    const bool sync = destId != 0;

    QList<QPair<QString, QVariant>> row = {
        {u"Name"_s, txt(r, "Name")}, {u"FilePath"_s, txt(r, "FilePath")}, {u"Version"_s, txt(r, "Version")},
        {u"Modified"_s, date(r, "Modified")}, {u"Description"_s, txt(r, "Description")}, {u"Macro"_s, txt(r, "Macro")},
        {u"IsDeleted"_s, flag(r, "IsDeleted")}};
    if (sync) {
        guarded([&] { Sql::update(m_db, "ZAT_Report", row, "IdReport", destId); return 0; });
    } else {
        row << qMakePair(QStringLiteral("IdCateg"), QVariant(m_opt.idCategDest))
            << qMakePair(QStringLiteral("ShowDeleted"), QVariant(flag(r, "ShowDeleted")))
            << qMakePair(QStringLiteral("DelExSheet"), QVariant(flag(r, "DelExSheet")))
            << qMakePair(QStringLiteral("DestinationFileAtRuntime"), QVariant(flag(r, "DestinationFileAtRuntime")));
        destId = add("ZAT_Report", "IdReport", row);
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
        if (existing != 0)
            guarded([&] { Sql::update(m_db, "ZAT_ExcelSheetSettings", values, "IdSetting", existing); return 0; });
        else
            add("ZAT_ExcelSheetSettings", "IdSetting", values);
    }

    // Columns: a synchronised report ends up with exactly the package's columns, matched by
    // position so that the rows it keeps keep their ids.
    QList<int> existingCols;
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
        if (i < existingCols.size())
            guarded([&] { Sql::update(m_db, "ZAT_ReportCols", values, "IdReportCol", existingCols[i]); return 0; });
        else
            add("ZAT_ReportCols", "IdReportCol", values);
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
            if (found.view != 0) {
                guarded([&] { Sql::update(m_db, "ZAT_SQLViews", values, "IdSQLView", found.view); return 0; });
            } else {
                // The partner had no view: the new one is linked, or it would be unreachable.
                viewId = add("ZAT_SQLViews", "IdSQLView", values);
                if (found.link != 0)
                    guarded([&] { Sql::update(m_db, "ZAT_ReportDS", {{u"IdSQLView"_s, viewId}}, "IdReportDS", found.link); return 0; });
                else
                    add("ZAT_ReportDS", "IdReportDS",
                        {{u"IdReport"_s, destId}, {u"IdSQLView"_s, viewId},
                         {u"IdDataSource"_s, links.isEmpty() ? nullInt() : dataSourceOf(links.first())}});
            }
        } else {
            viewId = add("ZAT_SQLViews", "IdSQLView", values);
        }
    }
    if (!sync) {
        if (!links.isEmpty())
            add("ZAT_ReportDS", "IdReportDS",
                {{u"IdReport"_s, destId}, {u"IdSQLView"_s, viewId}, {u"IdDataSource"_s, dataSourceOf(links.first())}});
        if (p.sortRows.contains(sourceId))
            add("ZAT_Sort", "IdSort",
                {{u"ItemType"_s, "e"}, {u"IdItem"_s, destId}, {u"SortNr"_s, num(p.sortRows[sourceId], "SortNr")}});
    }
    return destId;
}
