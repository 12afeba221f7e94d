// Times the import of a package exported from a synthetic file repository into an empty
// PostgreSQL repository, against the fastest plain load of the same rows: one psql process
// running \copy for every table in one transaction. The rows are written to COPY files before
// the clock starts; the psql process, its connection and its commit are timed whole. Default
// 4,000 reports. Needs the test server (VELMORA_TEST_PG) and psql on the path.
// The import adds a few rows less than the copy: it puts the reports under one folder and leaves
// out the package folders' sort rows, and reuses the console's application the repository has.
// Usage: bench_import_pg [report counts...]
#include "ReportFixtures.h"
#include "SyntheticRepository.h"
#include "TestDb.h"

#include "repository/PackageFile.h"
#include "repository/RepositorySession.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "transfer/export/ExportRun.h"
#include "transfer/import/ImportRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

// One value as a field of COPY's text format.
QString copyField(const QVariant &v)
{
    if (v.isNull())
        return QStringLiteral("\\N");
    QString s = v.typeId() == QMetaType::Double ? QString::number(v.toDouble(), 'g', 17) : v.toString();
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    s.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    s.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    s.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    return s;
}

QStringList columnsOf(const QString &table)
{
    QStringList names;
    for (const Schema::Column &c : Schema::table(table)->columns)
        names << (c.name == QLatin1String("User") ? Sql::userColumn() : c.name);
    return names;
}

// Writes each copied table of the package to a COPY file in dir and a psql script loading them
// all; returns the number of rows written.
qint64 writeCopyScript(const QString &packagePath, const QString &dir, const QString &scriptPath)
{
    qint64 rows = 0;
    QFile script(scriptPath);
    if (!script.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(scriptPath));
    QTextStream s(&script);
    s << "\\encoding UTF8\n";
    {
        QSqlDatabase pkg = PackageFile::openForReading(packagePath, Schema::PackagePassword, "bench-copy-rows");
        for (const QString &table : SyntheticRepository::copiedTables()) {
            const QStringList columns = columnsOf(table);
            const QString path = QDir(dir).filePath(table + QStringLiteral(".copy"));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot write %s", qPrintable(path));
            QTextStream out(&file);
            out.setEncoding(QStringConverter::Utf8);
            QSqlQuery q = Sql::exec(pkg, QStringLiteral("Select %1 From %2").arg(columns.join(','), table));
            QStringList fields;
            while (q.next()) {
                fields.clear();
                for (int i = 0; i < columns.size(); ++i)
                    fields << copyField(q.value(i));
                out << fields.join(QLatin1Char('\t')) << '\n';
                ++rows;
            }
            s << "\\copy " << table << " (" << columns.join(QStringLiteral(", ")) << ") from '" << path << "'\n";
        }
    }
    PackageFile::close("bench-copy-rows");
    return rows;
}

qint64 rowCount(const QSqlDatabase &db)
{
    qint64 rows = 0;
    for (const QString &table : SyntheticRepository::copiedTables())
        rows += Sql::scalar(db, QStringLiteral("Select Count(*) From %1").arg(table)).toLongLong();
    return rows;
}

// Wall time of one whole psql run of script (one transaction, stopping at the first error).
double timePsql(const QString &psql, const QString &uri, const QString &script)
{
    QProcess p;
    QElapsedTimer timer;
    timer.start();
    p.start(psql, {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-1", "-f", script, "-d", uri});
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qFatal("psql failed: %s", p.readAllStandardError().constData());
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    if (!TestDb::postgresAvailable()) {
        out << "bench_import_pg needs the PostgreSQL test server: set VELMORA_TEST_PG (scripts/pg-start.sh prints it)\n";
        return 0;
    }
    const QString psql = QStandardPaths::findExecutable(QStringLiteral("psql"));
    if (psql.isEmpty())
        out << "psql is not on the path: the COPY reference is skipped\n";
    const QList<int> sizes = SyntheticRepository::reportCounts(argc, argv, {4000});
    QTemporaryDir dir;
    out << "reports  import(ms)  copy(ms)  psql alone(ms)  ratio  import per report(us)  rows imported  rows copied\n";
    for (int n : sizes) {
        const QString packagePath = QDir(dir.path()).filePath(QStringLiteral("package%1.mdb").arg(n));
        {
            RepositorySession source;
            SyntheticRepository::createFile(source, QDir(dir.path()).filePath(QStringLiteral("repo%1.mdb").arg(n)), n);
            ExportRun(source, SyntheticRepository::exportEverything(source, packagePath)).run();
        }
        const ImportOptions options = SyntheticRepository::importEverything(packagePath);

        RepositorySession dest;
        TestDb::freshRepository(dest, QStringLiteral("postgres"));
        const qint64 seeded = rowCount(dest.Connection());
        QElapsedTimer timer;
        timer.start();
        ImportRun(dest.Connection(), options).run();
        const double importMs = timer.nsecsElapsed() / 1e6;
        const qint64 imported = rowCount(dest.Connection()) - seeded;

        double copyMs = 0, psqlMs = 0;
        qint64 copied = 0;
        if (!psql.isEmpty()) {
            const QString copyDir = QDir(dir.path()).filePath(QStringLiteral("copy%1").arg(n));
            QDir().mkpath(copyDir);
            const QString script = QDir(copyDir).filePath(QStringLiteral("load.sql"));
            const qint64 written = writeCopyScript(packagePath, copyDir, script);
            const QString emptyScript = QDir(copyDir).filePath(QStringLiteral("empty.sql"));
            QFile empty(emptyScript);
            if (!empty.open(QIODevice::WriteOnly))
                qFatal("cannot write %s", qPrintable(emptyScript));
            empty.close();

            // A second fresh repository, emptied so that the copy moves exactly the package's rows.
            TestDb::freshRepository(dest, QStringLiteral("postgres"));
            const QString uri = ReportFixtures::postgresUri(dest.Connection());
            for (const QString &table : SyntheticRepository::copiedTables())
                Sql::exec(dest.Connection(), QStringLiteral("Delete From %1").arg(table));
            // What starting psql and connecting cost alone, part of the copy's figure.
            psqlMs = timePsql(psql, uri, emptyScript);
            copyMs = timePsql(psql, uri, script);
            copied = rowCount(dest.Connection());
            if (copied != written)
                qFatal("the copy wrote %lld rows, the tables hold %lld", written, copied);
        }
        out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8\n")
                   .arg(n, 7)
                   .arg(importMs, 10, 'f', 1)
                   .arg(copyMs, 8, 'f', 1)
                   .arg(psqlMs, 14, 'f', 1)
                   .arg(copyMs > 0 ? importMs / copyMs : 0.0, 5, 'f', 1)
                   .arg(importMs * 1000.0 / n, 21, 'f', 1)
                   .arg(imported, 13)
                   .arg(copied, 11);
        out.flush();
    }
    return 0;
}
