#include "TestDb.h"
#include "ToolRun.h"

#include "repository/Schema.h"

#include <QDir>
#include <QtTest>

// The command-line tool, run as a user runs it.
class TestTransferCli : public QObject {
    Q_OBJECT

    static int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
    {
        return RunTool(QStringLiteral("velmora-transfer"), args, out, err);
    }

private Q_SLOTS:
    void initCreatesRepository()
    {
        const QString path = QDir(TestDb::tempDir()).filePath("cli-repo");
        QString out;
        QCOMPARE(run({"init", "--repository", path}, &out), 0);
        QCOMPARE(out.trimmed(), path + ".mdb");
        RepositorySession s;
        s.OpenFile(path + ".mdb");
        QCOMPARE(Schema::missingLayout(s.Connection()), QStringList());
        QCOMPARE(s.GetSubCategoryRows(-1).first().IdCateg, 1);
    }

    void usageAndFailures()
    {
        QString out, err;
        QCOMPARE(run({"--help"}, &out), 0);
        QVERIFY(out.contains("init --repository"));
        QCOMPARE(run({}, nullptr, &err), 2);
        QCOMPARE(run({"init"}, nullptr, &err), 2);
        QVERIFY(err.contains("--repository"));
        QCOMPARE(run({"init", "--bogus", "x"}, nullptr, &err), 2);
        QCOMPARE(run({"frobnicate"}, nullptr, &err), 2);
        QCOMPARE(run({"init", "--repository", "/nonexistent-dir/x/y.mdb"}, nullptr, &err), 1);
        QVERIFY(err.contains("cannot be created"));
    }
};

QTEST_GUILESS_MAIN(TestTransferCli)
#include "test_transfer_cli.moc"
