#include "ExportFixture.h"
#include "TestDb.h"
#include "WhenModal.h"

#include "navigator/frmMain.h"
#include "repository/AppError.h"
#include "repository/PackageFile.h"
#include "repository/PackageIdentity.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "repository/TransferLogTables.h"
#include "shell/AppState.h"
#include "shell/ItemData.h"
#include "transfer/TransferLog.h"
#include "transfer/TransferRecording.h"
#include "transfer/export/ExportRun.h"
#include "transfer/import/ImportRun.h"
#include "transfer/ui/frmTransferLog.h"
#include "transfer/ui/frmTransferLogReports.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

QString packagePath()
{
    static int n = 0;
    return QDir(TestDb::tempDir()).filePath(QStringLiteral("log-package%1.mdb").arg(++n));
}

bool hasTable(const QSqlDatabase &db, const QString &table)
{
    return db.tables(QSql::Tables).contains(table, Qt::CaseInsensitive);
}

void doubleClick(QTreeWidget *view, QTreeWidgetItem *item)
{
    const QPoint at = view->visualItemRect(item).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class TestTransferLog : public QObject {
    Q_OBJECT

    // A file repository with the export fixture, the source of every package of these tests.
    RepositorySession source;
    ExportFixture::Sample sample;

    // Exports reports of the fixture into a new package through the recording wrapper.
    TransferLog::Run exportPackage(const QString &path, const QList<int> &reports)
    {
        ExportOptions o;
        o.packagePath = path;
        o.reportIds = reports;
        ExportRun run(source, o);
        TransferLog::Run recorded;
        TransferRecording::runExport(source, run, o, &recorded);
        return recorded;
    }

    ImportOptions importOptions(const QString &path, const QList<int> &reports)
    {
        ImportOptions o;
        o.packagePath = path;
        o.reportIds = reports;
        o.dataSources = ImportOptions::Choice::ForReports;
        o.roles = true;
        o.users = true;
        return o;
    }

    // Imports through the recording wrapper; the failure, if any, in *failure.
    TransferLog::Run importPackage(RepositorySession &dest, const ImportOptions &o, QString *failure = nullptr)
    {
        ImportRun run(dest.Connection(), o);
        TransferLog::Run recorded;
        try {
            TransferRecording::runImport(dest, run, o, &recorded);
        } catch (const AppError &e) {
            if (failure)
                *failure = e.description;
        }
        return recorded;
    }

    void sourceOn(const QString &backend)
    {
        TestDb::freshRepository(source, backend);
        sample = ExportFixture::build(source.Connection());
    }

private Q_SLOTS:
    void init() { sourceOn(QStringLiteral("sqlite")); }

    // ---- the table

    void logTablesBelongToRepositoriesOnly_data() { TestDb::addBackends(); }
    void logTablesBelongToRepositoriesOnly()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        QVERIFY(hasTable(db, "ZAT_TransferLog"));
        QVERIFY(hasTable(db, "ZAT_TransferLogReport"));
        // An older repository gets them on its next connect, and connecting again changes nothing.
        Sql::exec(db, "Drop Table ZAT_TransferLogReport");
        Sql::exec(db, "Drop Table ZAT_TransferLog");
        db = QSqlDatabase();
        for (int i = 0; i < 2; ++i) {
            s.ResetConnection();
            QSqlDatabase again = s.Connection();
            QVERIFY(hasTable(again, "ZAT_TransferLog"));
            QVERIFY(hasTable(again, "ZAT_TransferLogReport"));
        }
        TransferLogTables::ensure(s.Connection());
        // An older repository without the marker's identity column still opens and connects.
        if (backend == QLatin1String("sqlite")) {
            Sql::exec(s.Connection(), "Alter Table ZAT_DbInfo Drop Column PackageId");
            s.ResetConnection();
            QCOMPARE(Schema::missingLayout(s.Connection()), QStringList());
        }
    }

    void historyIsNeverExported()
    {
        const QString first = packagePath();
        exportPackage(first, {sample.alpha});
        QCOMPARE(TransferLog::list(source.Connection()).size(), 1);
        // The second package is written while the repository holds history rows.
        const QString second = packagePath();
        QCOMPARE(exportPackage(second, {sample.alpha, sample.gamma}).outcome, TransferLog::Finished);
        QSqlDatabase package = PackageFile::openForReading(second, Schema::PackagePassword, "log-check");
        QVERIFY(!hasTable(package, "ZAT_TransferLog"));
        QVERIFY(!hasTable(package, "ZAT_TransferLogReport"));
        QCOMPARE(Sql::scalar(package, "Select Count(*) From ZAT_Report").toInt(), 2);
        package = QSqlDatabase();
        PackageFile::close("log-check");
    }

    // ---- recording

    void exportIsRecorded_data() { TestDb::addBackends(); }
    void exportIsRecorded()
    {
        QFETCH(QString, backend);
        sourceOn(backend);
        const QString path = packagePath();
        const TransferLog::Run r = exportPackage(path, {sample.gamma, sample.alpha, sample.beta});
        QVERIFY(r.id > 0);
        QCOMPARE(r.outcome, TransferLog::Finished);
        QCOMPARE(r.direction, TransferLog::Export);
        QCOMPARE(r.user, source.LoginName());
        QCOMPARE(r.packagePath, QFileInfo(path).absoluteFilePath());
        // The identity written into the package is the one recorded.
        QSqlDatabase package = PackageFile::openForReading(path, Schema::PackagePassword, "log-identity");
        QCOMPARE(PackageIdentity::read(package), r.packageIdentity);
        package = QSqlDatabase();
        PackageFile::close("log-identity");
        QVERIFY(!r.packageIdentity.isEmpty());

        const TransferLog::Run stored = TransferLog::read(source.Connection(), r.id);
        QCOMPARE(stored.options, QStringLiteral("reports=3 folders=yes macros=for-reports data-sources=for-reports roles=yes users=yes"));
        QCOMPARE(stored.counts.reports, 3);
        QCOMPARE(stored.counts.dataSources, 2);
        QCOMPARE(stored.counts.roles, 1);
        QVERIFY(stored.counts.users >= 2);
        QCOMPARE(stored.message, QStringLiteral("Operation completed successfully."));
        QCOMPARE(stored.lines.size(), 3);
        QStringList names;
        for (const TransferLog::Line &l : stored.lines) {
            names << l.name;
            QCOMPARE(l.action, QStringLiteral("exported"));
            QCOMPARE(l.destinationId, 0);
            // Codes given by this export are recorded, not the empty ones the reports had.
            QCOMPARE(l.code, Sql::scalar(source.Connection(), QStringLiteral("Select SyncronizeCode From ZAT_Report "
                                                                             "Where IdReport = %1").arg(l.packageId)).toString());
            QCOMPARE(l.code.size(), 50);
        }
        QCOMPARE(names, (QStringList{"Gamma ü", "Alpha", "Beta"}));
    }

    void failedExportIsRecorded_data() { TestDb::addBackends(); }
    void failedExportIsRecorded()
    {
        QFETCH(QString, backend);
        sourceOn(backend);
        ExportOptions o;
        o.packagePath = QDir(TestDb::tempDir()).filePath("no such folder/p.mdb");
        o.reportIds = {sample.alpha};
        ExportRun run(source, o);
        TransferLog::Run recorded;
        QString failure;
        try {
            TransferRecording::runExport(source, run, o, &recorded);
        } catch (const AppError &e) {
            failure = e.description;
        }
        QVERIFY(!failure.isEmpty());
        const QList<TransferLog::Run> runs = TransferLog::list(source.Connection());
        QCOMPARE(runs.size(), 1);
        const TransferLog::Run stored = TransferLog::read(source.Connection(), runs.first().id);
        QCOMPARE(stored.outcome, TransferLog::Failed);
        QCOMPARE(stored.message, failure);
        QCOMPARE(stored.lines.size(), 1);
        QCOMPARE(stored.lines.first().name, QStringLiteral("Alpha"));
        QCOMPARE(stored.lines.first().action, QStringLiteral("not exported"));

        // A step that fails without ending the run: finished, and the message names the step. (On a
        // file repository: the next fresh server repository could not connect without the table.)
        if (backend != QLatin1String("sqlite"))
            sourceOn(QStringLiteral("sqlite"));
        Sql::exec(source.Connection(), "Drop Table ZAT_CategMacros");
        const TransferLog::Run partly = exportPackage(packagePath(), {sample.alpha});
        QCOMPARE(partly.outcome, TransferLog::Finished);
        QVERIFY2(partly.message.startsWith("Operation completed successfully. ExportMacros(): "), qPrintable(partly.message));
        QCOMPARE(TransferLog::list(source.Connection(), "ExportMacros").size(), 1);
    }

    void importIsRecorded_data() { TestDb::addBackends(); }
    void importIsRecorded()
    {
        QFETCH(QString, backend);
        const QString path = packagePath();
        const TransferLog::Run exported = exportPackage(path, {sample.alpha, sample.gamma});
        RepositorySession dest;
        TestDb::freshRepository(dest, backend);

        const TransferLog::Run first = importPackage(dest, importOptions(path, {sample.alpha, sample.gamma}));
        QCOMPARE(first.outcome, TransferLog::Finished);
        QCOMPARE(first.direction, TransferLog::Import);
        QCOMPARE(first.user, dest.LoginName());
        // The import is traced to the export that wrote its package.
        QCOMPARE(first.packageIdentity, exported.packageIdentity);
        QCOMPARE(first.counts.reports, 2);
        QCOMPARE(first.counts.dataSources, 1);
        QCOMPARE(first.counts.roles, 1);
        QVERIFY(first.counts.users >= 2);
        const TransferLog::Run stored = TransferLog::read(dest.Connection(), first.id);
        QCOMPARE(stored.lines.size(), 2);
        QHash<QString, int> destOf;
        for (const TransferLog::Line &l : stored.lines) {
            QCOMPARE(l.action, QStringLiteral("add"));
            QVERIFY(l.destinationId > 0);
            QCOMPARE(Sql::scalar(dest.Connection(), QStringLiteral("Select Name From ZAT_Report Where IdReport = %1")
                                                        .arg(l.destinationId)).toString(), l.name);
            destOf.insert(l.name, l.destinationId);
        }
        QCOMPARE(stored.lines.at(0).packageId, sample.alpha);
        QCOMPARE(stored.lines.at(0).code, exported.lines.at(0).code);

        // A synchronised report is recorded as overwriting its partner.
        Sql::exec(dest.Connection(), QStringLiteral("Update ZAT_Report Set SyncronizeCode = ? Where IdReport = %1")
                                         .arg(destOf.value("Alpha")),
                  {exported.lines.at(0).code});
        ImportOptions sync = importOptions(path, {sample.alpha});
        sync.syncPairs.insert(sample.alpha, exported.lines.at(0).code);
        const TransferLog::Run second = importPackage(dest, sync);
        QCOMPARE(second.outcome, TransferLog::Finished);
        QCOMPARE(second.lines.size(), 1);
        QCOMPARE(second.lines.first().action, QStringLiteral("overwrite"));
        QCOMPARE(second.lines.first().destinationId, destOf.value("Alpha"));
        QVERIFY(second.options.endsWith("sync=1"));
        QCOMPARE(TransferLog::list(dest.Connection()).size(), 2);
    }

    void failedImportIsRecorded_data() { TestDb::addBackends(); }
    void failedImportIsRecorded()
    {
        QFETCH(QString, backend);
        const QString path = packagePath();
        exportPackage(path, {sample.alpha, sample.gamma});
        RepositorySession dest;
        TestDb::freshRepository(dest, backend);
        QSqlDatabase db = dest.Connection();
        // The destination refuses the second report only after the first one was written.
        if (backend == QLatin1String("sqlite")) {
            Sql::exec(db, "Create Trigger refuse_gamma Before Insert On ZAT_Report When New.Name Like 'Gamma%' "
                          "Begin Select Raise(Abort, 'no gamma here'); End");
        } else {
            Sql::exec(db, "Create Function refuse_gamma() Returns trigger Language plpgsql As $$ Begin "
                          "If New.Name Like 'Gamma%' Then Raise Exception 'no gamma here'; End If; Return New; End $$");
            Sql::exec(db, "Create Trigger refuse_gamma Before Insert On ZAT_Report For Each Row "
                          "Execute Function refuse_gamma()");
        }
        QString failure;
        const TransferLog::Run r = importPackage(dest, importOptions(path, {sample.alpha, sample.gamma}), &failure);
        QVERIFY2(failure.contains("no gamma here"), qPrintable(failure));
        QCOMPARE(r.outcome, TransferLog::Failed);
        // The row is written after the run's transaction ended, so it is there whatever the run kept.
        const QList<TransferLog::Run> runs = TransferLog::list(dest.Connection());
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs.first().outcome, TransferLog::Failed);
        QCOMPARE(runs.first().message, failure);
        const TransferLog::Run stored = TransferLog::read(dest.Connection(), runs.first().id);
        QCOMPARE(stored.lines.size(), 2);
        for (const TransferLog::Line &l : stored.lines) {
            QCOMPARE(l.action, QStringLiteral("not imported"));
            QCOMPARE(l.destinationId, 0);
        }
        QCOMPARE(stored.counts.reports, 0);
    }

    void unwritableHistoryKeepsTheRunsOutcome()
    {
        // The table went away behind the open connection: the export still finishes and says why
        // it was not recorded, and a failure of the run still reaches the caller unchanged.
        Sql::exec(source.Connection(), "Drop Table ZAT_TransferLogReport");
        QStringList historyFailures;
        const auto note = [&](const AppError &e) { historyFailures << e.description; };
        ExportOptions o;
        o.packagePath = packagePath();
        o.reportIds = {sample.alpha};
        {
            ExportRun run(source, o);
            TransferRecording::runExport(source, run, o, nullptr, note);
        }
        QCOMPARE(historyFailures.size(), 1);
        QVERIFY2(historyFailures.first().startsWith("The transfer history could not be written: "),
                 qPrintable(historyFailures.first()));
        QVERIFY(QFileInfo::exists(o.packagePath));
        // The run's row went with its lines: nothing half recorded.
        QCOMPARE(Sql::scalar(source.Connection(), "Select Count(*) From ZAT_TransferLog").toInt(), 0);
        o.packagePath = QDir(TestDb::tempDir()).filePath("missing folder/p.mdb");
        ExportRun failing(source, o);
        QVERIFY_THROWS_EXCEPTION(AppError, TransferRecording::runExport(source, failing, o, nullptr, note));
        QCOMPARE(historyFailures.size(), 2);
    }

    void packageWithoutIdentityStillImports()
    {
        const QString path = packagePath();
        exportPackage(path, {sample.alpha});
        {
            QSqlDatabase p = PackageFile::openForWriting(path, Schema::PackagePassword, "log-old");
            Sql::exec(p, "Alter Table ZAT_DbInfo Drop Column PackageId");
            p = QSqlDatabase();
            PackageFile::close("log-old");
        }
        RepositorySession dest;
        TestDb::freshRepository(dest, "sqlite");
        QString failure;
        const TransferLog::Run r = importPackage(dest, importOptions(path, {sample.alpha}), &failure);
        QCOMPARE(failure, QString());
        QCOMPARE(r.outcome, TransferLog::Finished);
        QCOMPARE(r.packageIdentity, QString());
        QCOMPARE(r.lines.size(), 1);
        QCOMPARE(r.lines.first().name, QStringLiteral("Alpha"));
    }

    // ---- reading it back

    void listFiltersNewestFirst_data() { TestDb::addBackends(); }
    void listFiltersNewestFirst()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QDateTime t0(QDate(2026, 3, 1), QTime(9, 0));
        auto add = [&](int minutes, const QString &user, const QString &message, const QString &report) {
            TransferLog::Run r;
            r.started = t0.addSecs(60 * minutes);
            r.finished = r.started;
            r.user = user;
            r.direction = TransferLog::Import;
            r.packagePath = "/p/" + user + ".mdb";
            r.outcome = TransferLog::Finished;
            r.message = message;
            r.lines << TransferLog::Line{7, QString(50, QLatin1Char('1')), report, 12, "add"};
            return TransferLog::record(db, r);
        };
        const int older = add(0, "ann", "50% done", "Monthly sales");
        const int newest = add(20, "bob", "all fine", "Ümsatz");
        const int middle = add(10, "Carol", "ok", "Stock");
        auto ids = [&](const QString &filter) {
            QList<int> out;
            for (const TransferLog::Run &r : TransferLog::list(db, filter))
                out << r.id;
            return out;
        };
        QCOMPARE(ids(QString()), (QList<int>{newest, middle, older}));
        QCOMPARE(ids("carol"), QList<int>{middle});        // letter case ignored
        QCOMPARE(ids("MONTHLY"), QList<int>{older});       // a report's name
        QCOMPARE(ids("%"), QList<int>{older});             // taken literally
        QCOMPARE(ids("_"), QList<int>{});
        QCOMPARE(ids("import"), (QList<int>{newest, middle, older}));
        QCOMPARE(ids("Ümsatz"), QList<int>{newest});
        QCOMPARE(ids("ümsATZ"), QList<int>{newest});
        const TransferLog::Run r = TransferLog::read(db, newest);
        QCOMPARE(r.started, t0.addSecs(1200));
        QCOMPARE(r.lines.size(), 1);
        QCOMPARE(r.lines.first().destinationId, 12);
        QCOMPARE(TransferLog::read(db, 999999).id, 0);

        // A run of many reports is recorded whole, in its order.
        TransferLog::Run big;
        big.started = t0.addSecs(3600);
        big.direction = TransferLog::Export;
        big.outcome = TransferLog::Finished;
        for (int i = 1; i <= 1000; ++i)
            big.lines << TransferLog::Line{i, QString(), QStringLiteral("R%1").arg(i), 0, "exported"};
        const int bigId = TransferLog::record(db, big);
        const TransferLog::Run back = TransferLog::read(db, bigId);
        QCOMPARE(back.lines.size(), 1000);
        QCOMPARE(back.lines.last().name, QStringLiteral("R1000"));
        QCOMPARE(back.lines.first().code, QString());
    }

    // ---- the window

    void historyWindow()
    {
        frmMain::destroyInstance();
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        QSqlDatabase db = s.Connection();
        const QDateTime t0(QDate(2026, 3, 1), QTime(9, 0));
        for (int i = 0; i < 3; ++i) {
            TransferLog::Run r;
            r.started = t0.addDays(i);
            r.user = i == 1 ? "alice" : "bob";
            r.direction = i == 2 ? TransferLog::Import : TransferLog::Export;
            r.packagePath = QStringLiteral("/p/run%1.mdb").arg(i);
            r.outcome = TransferLog::Finished;
            r.message = "Operation completed successfully.";
            r.counts.reports = i + 1;
            for (int k = 0; k <= i; ++k)
                r.lines << TransferLog::Line{100 + k, QString(), QStringLiteral("Report %1.%2").arg(i).arg(k), 0, "exported"};
            TransferLog::record(db, r);
        }
        frmMain *m = frmMain::instance();
        m->show();
        QAction *entry = m->findChild<QAction *>("mnuTransferLog");
        QVERIFY(entry);
        QCOMPARE(entry->text(), QStringLiteral("Transfer history"));
        QVERIFY(m->mnuTools->actions().contains(entry));

        bool listed = false, linesShown = false;
        QStringList lineNames;
        QString summary;
        whenModal<frmTransferLog>(&listed, [&](frmTransferLog *w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Transfer history"));
            QCOMPARE(w->lstLog->topLevelItemCount(), 3);
            QCOMPARE(w->lstLog->topLevelItem(0)->text(5), QStringLiteral("/p/run2.mdb")); // newest first
            QTest::keyClicks(w->txtFilter, "alice");
            QCOMPARE(w->lstLog->topLevelItemCount(), 1);
            QCOMPARE(w->lstLog->topLevelItem(0)->text(1), QStringLiteral("alice"));
            w->txtFilter->clear();
            QTest::keyClicks(w->txtFilter, "Report 2.");
            QCOMPARE(w->lstLog->topLevelItemCount(), 1);
            whenModal<frmTransferLogReports>(&linesShown, [&](frmTransferLogReports *lines) {
                for (int i = 0; i < lines->lstRep->topLevelItemCount(); ++i)
                    lineNames << lines->lstRep->topLevelItem(i)->text(1);
                summary = lines->lblRun->text();
                QTest::mouseClick(lines->cmdClose, Qt::LeftButton);
            });
            doubleClick(w->lstLog, w->lstLog->topLevelItem(0));
            QTest::mouseClick(w->cmdClose, Qt::LeftButton);
        });
        entry->trigger();
        QTRY_VERIFY(listed);
        QVERIFY(linesShown);
        QCOMPARE(lineNames, (QStringList{"Report 2.0", "Report 2.1", "Report 2.2"}));
        QVERIFY2(summary.startsWith("import by bob"), qPrintable(summary));
        QVERIFY(!QApplication::activeModalWidget());
        frmMain::destroyInstance();
    }
};

QTEST_MAIN(TestTransferLog)
#include "test_transfer_log.moc"
