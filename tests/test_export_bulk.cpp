// The child rows of reports leave an SQLite repository set-based and a PostgreSQL repository row
// by row: both must write the same package.
#include "TestDb.h"

#include "repository/PackageFile.h"
#include "repository/Sql.h"
#include "transfer/export/ExportRun.h"

#include <QDir>
#include <QtTest>

namespace {

constexpr int Reports = 520; // more than one chunk of ids
constexpr int Orphan = 900;  // child rows without a report row

void fill(const QSqlDatabase &db)
{
    QSqlDatabase d = db;
    d.transaction();
    auto row = [&](const char *table, const Sql::Values &values) { Sql::insertRow(db, QString::fromLatin1(table), values); };
    const QVariant null;
    for (int i = 1; i <= Reports; ++i) {
        row("ZAT_Report", {{"IdReport", i}, {"Name", QStringLiteral("R%1").arg(i)}, {"IdCateg", 1},
                           {"SyncronizeCode", QStringLiteral("%1").arg(i, 50, 10, QLatin1Char('0'))}});
        if (i % 3 != 0) {
            // Inserted against id order: the package keeps ids, whatever the reading order.
            row("ZAT_ReportCols", {{"IdReportCol", i * 10 + 2}, {"IdReport", i}, {"Name", "b 'q' %"},
                                   {"Type", 2}, {"Width", 40}, {"Hide", 1}, {"AutoSum", 1}});
            if (i % 5 == 0)
                row("ZAT_ReportCols", {{"IdReportCol", i * 10 + 1}, {"IdReport", i}, {"Name", null},
                                       {"Type", null}, {"Width", null}, {"Hide", null}, {"AutoSum", null}});
            else
                row("ZAT_ReportCols", {{"IdReportCol", i * 10 + 1}, {"IdReport", i}, {"Name", QStringLiteral("Ünï ✓")},
                                       {"Type", 1}, {"Width", 12}, {"Hide", 0}, {"AutoSum", 0}});
        }
        switch (i % 4) {
        case 1:
            row("ZAT_ExcelSheetSettings", {{"IdSetting", i * 10 + 3}, {"IdReport", i}});
            break;
        case 2: // only the first by id counts
            row("ZAT_ExcelSheetSettings", {{"IdSetting", i * 10 + 5}, {"IdReport", i}, {"SheetName", "second"},
                                           {"FontSize", 30}});
            row("ZAT_ExcelSheetSettings", {{"IdSetting", i * 10 + 3}, {"IdReport", i}, {"SheetName", "first"},
                                           {"FontName", "Arial"}, {"ShowGridLines", "True"}});
            break;
        case 3:
            row("ZAT_ExcelSheetSettings",
                {{"IdSetting", i * 10 + 3}, {"IdReport", i}, {"SheetName", "S"}, {"ShowGridLines", "False"},
                 {"ShowToolTips", "True"}, {"ShowAutoFilters", "True"}, {"FontName", "Courier"}, {"FontSize", 9.5},
                 {"ReportTitle", "Title"}, {"FreezPanel", "B2"}});
            break;
        }
        if (i % 6 != 0)
            row("ZAT_Sort", {{"IdSort", 10000 + i * 2}, {"ItemType", "e"}, {"IdItem", i},
                             {"SortNr", i % 7 == 0 ? null : QVariant(i)}});
        if (i % 5 == 1) // an earlier sort row of the same report wins
            row("ZAT_Sort", {{"IdSort", 10000 + i * 2 - 1}, {"ItemType", "e"}, {"IdItem", i}, {"SortNr", 99}});
        // Links: none, one, several (the first counts, its view or a later link's), to a missing
        // view, without a view; views shared by reports of different chunks.
        const int link = 40000 + i * 4;
        switch (i % 5) {
        case 1:
            row("ZAT_ReportDS", {{"IdReportDS", link}, {"IdReport", i}, {"IdSQLView", i}, {"IdDataSource", 7}});
            break;
        case 2:
            row("ZAT_ReportDS", {{"IdReportDS", link + 2}, {"IdReport", i}, {"IdSQLView", i}, {"IdDataSource", 8}});
            row("ZAT_ReportDS", {{"IdReportDS", link + 1}, {"IdReport", i}, {"IdSQLView", 7777}, {"IdDataSource", null}});
            // A later link's view stays out of the package.
            row("ZAT_ReportDS", {{"IdReportDS", link + 3}, {"IdReport", i}, {"IdSQLView", 90000 + i}, {"IdDataSource", 1}});
            row("ZAT_SQLViews", {{"IdSQLView", 90000 + i}, {"strSQLView", "later"}});
            break;
        case 3:
            row("ZAT_ReportDS", {{"IdReportDS", link}, {"IdReport", i}, {"IdSQLView", null}, {"IdDataSource", 3}});
            row("ZAT_ReportDS", {{"IdReportDS", link + 1}, {"IdReport", i}, {"IdSQLView", i % 2 ? 0 : 1000},
                                 {"IdDataSource", 3}});
            break;
        case 4:
            row("ZAT_ReportDS", {{"IdReportDS", link}, {"IdReport", i}, {"IdSQLView", 1000}, {"IdDataSource", 4}});
            break;
        }
        if (i % 5 == 1 || i % 5 == 2)
            row("ZAT_SQLViews", {{"IdSQLView", i}, {"strSQLView", i % 2 ? QVariant("Select 'x' %") : null},
                                 {"Description", null}});
        if (i % 8 == 0) // a category's sort row with the same item id is not the report's
            row("ZAT_Sort", {{"IdSort", 50000 + i}, {"ItemType", "c"}, {"IdItem", i}, {"SortNr", 1}});
    }
    row("ZAT_SQLViews", {{"IdSQLView", 0}, {"strSQLView", "zero"}, {"Description", "v0"}});
    row("ZAT_SQLViews", {{"IdSQLView", 1000}, {"strSQLView", "shared"}, {"Description", "all"}});
    row("ZAT_ReportCols", {{"IdReportCol", Orphan * 10}, {"IdReport", Orphan}, {"Name", "orphan"}});
    row("ZAT_ExcelSheetSettings", {{"IdSetting", Orphan * 10}, {"IdReport", Orphan}});
    d.commit();
    // An older repository without a column: its values take the default.
    Sql::exec(db, QStringLiteral("Alter Table ZAT_ExcelSheetSettings Drop Column GroupCols"));
}

// Every row of the package's child tables, with the stored type of each value.
QStringList dump(const QString &packagePath)
{
    QStringList out;
    {
        QSqlDatabase p = PackageFile::openForReading(packagePath, ExportRun::PackagePassword, "bulk-dump");
        for (const char *table : {"ZAT_ExcelSheetSettings", "ZAT_ReportCols", "ZAT_Sort", "ZAT_ReportDS", "ZAT_SQLViews",
                                  "ZAT_Report"}) {
            QSqlQuery q = Sql::exec(p, QStringLiteral("Select * From %1 Order By 1").arg(QLatin1String(table)));
            while (q.next()) {
                QStringList values{QString::fromLatin1(table)};
                for (int c = 0; c < q.record().count(); ++c) {
                    const QVariant v = q.value(c);
                    values << (v.isNull() ? QStringLiteral("NULL")
                                          : QString::fromLatin1(v.typeName()) + QLatin1Char(':') + v.toString());
                }
                out << values.join(QLatin1Char('|'));
            }
        }
    }
    PackageFile::close("bulk-dump");
    return out;
}

QStringList exportFrom(const QString &backend)
{
    RepositorySession session;
    TestDb::freshRepository(session, backend);
    fill(session.Connection());
    // The column comes back, or the next fresh repository on the server would not open.
    struct Restore {
        QSqlDatabase db;
        ~Restore() { QSqlQuery(db).exec(QStringLiteral("Alter Table ZAT_ExcelSheetSettings Add Column GroupCols text")); }
    } restore{session.Connection()};
    ExportOptions o;
    o.packagePath = QDir(TestDb::tempDir()).filePath(QStringLiteral("bulk-%1.mdb").arg(backend));
    for (int i = 1; i <= Reports; ++i)
        o.reportIds << i;
    o.reportIds << Orphan;
    o.folders = false;
    ExportRun(session, o).run();
    // The repository is free again: the package connection no longer reads it.
    Sql::exec(session.Connection(), QStringLiteral("Update ZAT_Report Set Name = 'free' Where IdReport = 1"));
    return dump(o.packagePath);
}

} // namespace

class TestExportBulk : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sameAsRowByRow()
    {
        QStringList sqlite, postgres;
        try {
            sqlite = exportFrom(QStringLiteral("sqlite"));
            postgres = exportFrom(QStringLiteral("postgres"));
        } catch (const AppError &e) {
            QFAIL(qPrintable(e.description));
        }
        QCOMPARE(sqlite.size(), postgres.size());
        for (int i = 0; i < sqlite.size(); ++i)
            QCOMPARE(sqlite.at(i), postgres.at(i));

        // Not an empty agreement: the rules show in the rows.
        auto rowsOf = [&](const QString &prefix) {
            QStringList out;
            for (const QString &r : sqlite)
                if (r.startsWith(prefix))
                    out << r;
            return out;
        };
        QCOMPARE(rowsOf("ZAT_ReportCols|").size(), 2 * (Reports - Reports / 3) + 1);
        QCOMPARE(rowsOf("ZAT_ExcelSheetSettings|").size(), Reports - Reports / 4 + 1);
        QVERIFY(rowsOf("ZAT_ExcelSheetSettings|").contains(
            "ZAT_ExcelSheetSettings|qlonglong:13|qlonglong:1|QString:|QString:|QString:|QString:|QString:|double:8|"
            "QString:|QString:|QString:"));
        QVERIFY(rowsOf("ZAT_ExcelSheetSettings|qlonglong:23|").first().contains("QString:first|QString:True"));
        QVERIFY(rowsOf("ZAT_ReportCols|qlonglong:51|").first().endsWith(
            "qlonglong:5|QString:|qlonglong:0|qlonglong:0|qlonglong:0|qlonglong:0"));
        int sorted = 1; // the root's own
        for (int i = 1; i <= Reports; ++i)
            sorted += (i % 6 != 0 || i % 5 == 1) ? 1 : 0;
        QCOMPARE(rowsOf("ZAT_Sort|").size(), sorted);
        QVERIFY(rowsOf("ZAT_Sort|qlonglong:10001|").first().endsWith("QString:e|qlonglong:1|qlonglong:99"));
        QCOMPARE(rowsOf("ZAT_ReportDS|").size(), Reports - Reports / 5);
        QVERIFY(rowsOf("ZAT_ReportDS|qlonglong:40009|").first().endsWith("qlonglong:7777|qlonglong:0"));
        QVERIFY(rowsOf("ZAT_SQLViews|").contains("ZAT_SQLViews|qlonglong:0|QString:zero|QString:v0"));
        QVERIFY(rowsOf("ZAT_SQLViews|").contains("ZAT_SQLViews|qlonglong:1000|QString:shared|QString:all"));
        QVERIFY(rowsOf("ZAT_SQLViews|").contains("ZAT_SQLViews|qlonglong:2|QString:|QString:"));
        QVERIFY(rowsOf("ZAT_SQLViews|qlonglong:90002|").isEmpty());
        QVERIFY(rowsOf("ZAT_Sort|qlonglong:10014|").first().endsWith("QString:e|qlonglong:7|qlonglong:0"));
    }

    // A child table the repository lacks ends the run, and no package is left behind.
    void missingTable_data() { TestDb::addBackends(); }
    void missingTable()
    {
        QFETCH(QString, backend);
        RepositorySession session;
        TestDb::freshRepository(session, backend);
        QSqlDatabase repo = session.Connection();
        Sql::insertRow(repo, "ZAT_Report", {{"IdReport", 1}, {"Name", "R"}, {"IdCateg", 1}});
        struct Restore {
            QSqlDatabase db;
            ~Restore()
            {
                QSqlQuery(db).exec(QStringLiteral("Create Table ZAT_ReportCols (IdReportCol integer, IdReport integer, "
                                                  "Name text, Type integer, Width integer, Hide smallint, AutoSum smallint)"));
            }
        } restore{repo};
        Sql::exec(repo, QStringLiteral("Drop Table ZAT_ReportCols"));
        ExportOptions o;
        o.packagePath = QDir(TestDb::tempDir()).filePath(QStringLiteral("missing-%1.mdb").arg(backend));
        o.reportIds = {1};
        QVERIFY_THROWS_EXCEPTION(AppError, ExportRun(session, o).run());
        QVERIFY(!QFileInfo::exists(o.packagePath));
    }
};

QTEST_MAIN(TestExportBulk)
#include "test_export_bulk.moc"
