// Fills a repository with 5,000 categories and 20,000 reports (one category holding 10,000,
// another 5,000) and prints how long the main window takes to load the tree, list the big
// categories and list the recycle bin, next to the time of the library calls they make.
//
//   bench_navigator [sqlite|postgres]     (postgres needs VELMORA_TEST_PG)
#include "TestDb.h"

#include "navigator/frmMain.h"
#include "repository/RepositorySession.h"
#include "repository/Schema.h"
#include "repository/Sql.h"

#include <QSqlError>
#include "shell/AppState.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <cstdio>
#include <functional>

namespace {

double ms(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

void row(const char *what, double window, double queries)
{
    std::printf("%-34s window %9.1f ms   library calls %9.1f ms   ratio %5.2f\n", what, window, queries,
                queries > 0 ? window / queries : 0.0);
}

void fill(RepositorySession &s, int categories, int reports, int big, int half)
{
    QSqlDatabase db = s.Connection();
    db.transaction();
    QSqlQuery cat(db), rep(db), sort(db);
    cat.prepare("Insert Into ZAT_Category (IdCateg, Name, Description, IdParent, IsDeleted, ShowDeleted) Values (?, ?, '', ?, 0, 0)");
    rep.prepare("Insert Into ZAT_Report (IdReport, Name, FilePath, Version, Modified, IdCateg, IsDeleted, IdExtension) "
                "Values (?, ?, ?, 'Excel', ?, ?, 0, 10)");
    sort.prepare("Insert Into ZAT_Sort (ItemType, IdItem, SortNr) Values (?, ?, ?)");
    auto run = [](QSqlQuery &q, const QVariantList &values) {
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i]);
        if (!q.exec())
            qFatal("%s", qPrintable(q.lastError().text()));
    };
    const QVariant modified = Sql::dateValue(QDateTime(QDate(2024, 5, 1), QTime(10, 0)));
    for (int i = 0; i < categories; ++i) {
        const int id = 3 + i;
        // A broad, fairly deep tree: the first 50 under the root, each later one under an earlier one.
        const int parent = i < 50 ? 1 : 3 + (i * 7919) % i;
        run(cat, {id, QStringLiteral("Category %1").arg(id), parent});
        run(sort, {"c", id, i + 1});
    }
    for (int i = 0; i < reports; ++i) {
        const int id = 1 + i;
        const int category = i < 10000 ? big : i < 15000 ? half : 3 + (i % categories);
        run(rep, {id, QStringLiteral("Report %1").arg(id), QStringLiteral("C:\\out\\%1.xlsx").arg(id), modified, category});
        run(sort, {"e", id, i + 1});
    }
    db.commit();
    Schema::syncIdentities(db);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QString backend = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("sqlite");
    RepositorySession &s = TestDb::freshAppSession(backend);
    const int big = 3, half = 4;
    std::printf("filling %s: 5000 categories, 20000 reports ...\n", qPrintable(backend));
    std::printf("filled in %.0f ms\n", ms([&] { fill(s, 5000, 20000, big, half); }));

    frmMain *main = frmMain::instance();
    main->show();

    row("LoadCateg(\"c1\")", ms([&] { main->LoadCateg("c1"); }), ms([&] {
            s.GetCategoryList(-1, RepositorySession::Live);
            s.GetSubCategoryRows(1);
            s.GetReportRows(1);
        }));
    row("RefreshMe (root selected)", ms([&] { main->RefreshMe(); }), ms([&] {
            s.GetCategoryList(-1, RepositorySession::Live);
            s.GetSubCategoryRows(1);
            s.GetReportRows(1);
        }));
    row("LoadListView: 5,000 reports", ms([&] { main->LoadListView(half); }), ms([&] {
            s.GetSubCategoryRows(half);
            s.GetReportRows(half);
        }));
    row("LoadListView: 10,000 reports", ms([&] { main->LoadListView(big); }), ms([&] {
            s.GetSubCategoryRows(big);
            s.GetReportRows(big);
        }));
    main->lstRep_ColumnClick(0);
    row("LoadListView: 10,000 sorted", ms([&] { main->LoadListView(big); }), ms([&] {
            s.GetSubCategoryRows(big);
            s.GetReportRows(big);
        }));

    QList<int> ids;
    for (const ReportRow &r : s.GetReportRows(big))
        ids << r.IdReport;
    std::printf("DeleteItems of 10,000 reports     %9.1f ms\n", ms([&] { s.DeleteItems(ids, {}); }));
    row("LoadListView: bin of 10,000", ms([&] { main->LoadListView(2); }), ms([&] {
            s.GetCategoryList(-1, RepositorySession::Deleted);
            s.GetReportList(-1, RepositorySession::Deleted);
        }));
    std::printf("RestoreItems of 10,000 reports    %9.1f ms\n", ms([&] { s.RestoreItems({}, ids); }));
    s.DeleteItems(ids, {half});
    std::printf("EmptyRecycleBin (15,000 reports)  %9.1f ms\n", ms([&] { s.EmptyRecycleBin(); }));
    frmMain::destroyInstance();
    // The session outlives main(); close its connection while Qt SQL is still up.
    s.ResetConnection();
    std::fflush(stdout);
    return 0;
}
