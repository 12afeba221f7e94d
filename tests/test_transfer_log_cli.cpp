#include "ExportFixture.h"
#include "ReportFixtures.h"
#include "TestDb.h"
#include "ToolRun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// velmora-transfer export --json, list --json and log, read back as a script reads them.
class TestTransferLogCli : public QObject {
    Q_OBJECT

    RepositorySession session;
    ExportFixture::Sample sample;
    QString repoArg;

    static int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
    {
        return RunTool(QStringLiteral("velmora-transfer"), args, out, err);
    }

    static QString packagePath()
    {
        static int n = 0;
        return QDir(TestDb::tempDir()).filePath(QStringLiteral("log-cli%1.mdb").arg(++n));
    }

    // stdout must be one JSON document and nothing else.
    static QJsonObject parse(const QString &out)
    {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(out.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            qWarning("not one JSON document (%s): %s", qPrintable(error.errorString()), qPrintable(out));
        return doc.object();
    }

    void fresh(const QString &backend)
    {
        sample = ExportFixture::buildForTool(session, backend, &repoArg);
    }

private Q_SLOTS:
    void exportJsonAndLog_data() { TestDb::addBackends(); }
    void exportJsonAndLog()
    {
        QFETCH(QString, backend);
        fresh(backend);
        const QString path = packagePath();
        QString out, err;
        QCOMPARE(run({"export", "--repository", repoArg, "--package", path, "--reports",
                      QStringLiteral("%1,%2").arg(sample.alpha).arg(sample.gamma), "--json"},
                     &out, &err),
                 0);
        // Status lines stay on stderr.
        QVERIFY(err.contains("Operation completed successfully."));
        const QJsonObject exported = parse(out);
        QCOMPARE(exported["direction"].toString(), QStringLiteral("export"));
        QCOMPARE(exported["outcome"].toString(), QStringLiteral("finished"));
        QCOMPARE(exported["package"].toString(), QFileInfo(path).absoluteFilePath());
        QCOMPARE(exported["counts"].toObject()["reports"].toInt(), 2);
        const QString identity = exported["package_identity"].toString();
        QVERIFY(!identity.isEmpty());
        const QJsonArray reports = exported["reports"].toArray();
        QCOMPARE(reports.size(), 2);
        QCOMPARE(reports[0].toObject()["name"].toString(), QStringLiteral("Alpha"));
        QCOMPARE(reports[0].toObject()["package_id"].toInt(), sample.alpha);
        QCOMPARE(reports[0].toObject()["code"].toString().size(), 50);
        QVERIFY(reports[0].toObject()["destination_id"].isNull());
        QCOMPARE(reports[1].toObject()["name"].toString(), QStringLiteral("Gamma ü"));

        // A failed export prints its row too, and exits 1.
        QCOMPARE(run({"export", "--repository", repoArg, "--package", QDir(TestDb::tempDir()).filePath("none/x.mdb"),
                      "--reports", QString::number(sample.beta), "--json"},
                     &out, &err),
                 1);
        QVERIFY(err.contains("Number : "));
        const QJsonObject failed = parse(out);
        QCOMPARE(failed["outcome"].toString(), QStringLiteral("failed"));
        QCOMPARE(failed["reports"].toArray()[0].toObject()["action"].toString(), QStringLiteral("not exported"));

        // The history, newest first, as text and as JSON.
        QCOMPARE(run({"log", "--repository", repoArg}, &out, &err), 0);
        const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].split('\t').contains("failed"));
        QVERIFY(lines[1].split('\t').contains(identity));
        QCOMPARE(run({"log", "--repository", repoArg, "--json"}, &out, &err), 0);
        const QJsonArray transfers = parse(out)["transfers"].toArray();
        QCOMPARE(transfers.size(), 2);
        QCOMPARE(transfers[0].toObject()["outcome"].toString(), QStringLiteral("failed"));
        QCOMPARE(transfers[1].toObject()["package_identity"].toString(), identity);
        QVERIFY(!transfers[1].toObject().contains("reports"));

        // One run with its reports; a filter; a run that is not there.
        const int id = transfers[1].toObject()["id"].toInt();
        QCOMPARE(run({"log", "--repository", repoArg, "--run", QString::number(id), "--json"}, &out, &err), 0);
        const QJsonObject one = parse(out);
        QCOMPARE(one["reports"].toArray().size(), 2);
        QCOMPARE(one["reports"].toArray()[1].toObject()["name"].toString(), QStringLiteral("Gamma ü"));
        QCOMPARE(run({"log", "--repository", repoArg, "--run", QString::number(id)}, &out, &err), 0);
        QCOMPARE(out.split('\n', Qt::SkipEmptyParts).size(), 3);
        QCOMPARE(run({"log", "--repository", repoArg, "--filter", "gamma", "--json"}, &out, &err), 0);
        QCOMPARE(parse(out)["transfers"].toArray().size(), 1);
        QCOMPARE(run({"log", "--repository", repoArg, "--run", "999999"}, &out, &err), 1);
        QVERIFY(err.contains("The history has no run 999999."));
        QCOMPARE(run({"log", "--repository", repoArg, "--run", "x"}, &out, &err), 2);
        QCOMPARE(run({"log"}, &out, &err), 2);
    }

    void listJsonAndImportLog_data() { TestDb::addBackends(); }
    void listJsonAndImportLog()
    {
        QFETCH(QString, backend);
        // The package comes from a file repository; the destination is on the backend.
        fresh(QStringLiteral("sqlite"));
        const QString sourceArg = repoArg;
        const QString path = packagePath();
        QString out, err;
        QCOMPARE(run({"export", "--repository", sourceArg, "--package", path, "--reports",
                      QStringLiteral("%1,%2").arg(sample.alpha).arg(sample.beta), "--json"},
                     &out, &err),
                 0);
        const QString identity = parse(out)["package_identity"].toString();
        RepositorySession dest;
        TestDb::freshRepository(dest, backend);
        const QString destArg = backend == QLatin1String("sqlite") ? dest.DatabasePath()
                                                                   : ReportFixtures::postgresUri(dest.Connection());
        if (backend == QLatin1String("sqlite"))
            dest.ResetConnection();

        QCOMPARE(run({"list", "--package", path, "--json"}, &out, &err), 0);
        QJsonObject listed = parse(out);
        QCOMPARE(listed["package_identity"].toString(), identity);
        QJsonArray reports = listed["reports"].toArray();
        QCOMPARE(reports.size(), 2);
        QCOMPARE(reports[0].toObject()["name"].toString(), QStringLiteral("Alpha"));
        QCOMPARE(reports[0].toObject()["category"].toString(), QStringLiteral("Monthly 'quoted' %"));
        QVERIFY(!reports[0].toObject().contains("partner"));
        QCOMPARE(reports[1].toObject()["code"].toString(), sample.betaCode);

        // The sample's macro of a missing category is left out, which the command counts as a
        // failure (exit 1); the run itself finishes and is recorded.
        QVERIFY2(run({"import", "--repository", destArg, "--package", path, "--category", "1", "--all-reports"},
                     &out, &err) == 1,
                 qPrintable(err));
        QVERIFY2(err.contains(QLatin1String("row(s) were left out")), qPrintable(err));
        QCOMPARE(run({"log", "--repository", destArg, "--json"}, &out, &err), 0);
        const QJsonArray transfers = parse(out)["transfers"].toArray();
        QCOMPARE(transfers.size(), 1);
        const QJsonObject imported = transfers[0].toObject();
        QCOMPARE(imported["direction"].toString(), QStringLiteral("import"));
        QCOMPARE(imported["package_identity"].toString(), identity);
        QCOMPARE(imported["counts"].toObject()["reports"].toInt(), 2);

        // With a repository every report names its partner, or null.
        QCOMPARE(run({"list", "--package", path, "--repository", destArg, "--json"}, &out, &err), 0);
        reports = parse(out)["reports"].toArray();
        QVERIFY(reports[0].toObject().contains("partner_id"));
        QVERIFY(reports[0].toObject().contains("partner"));
    }
};

QTEST_MAIN(TestTransferLogCli)
#include "test_transfer_log_cli.moc"
