#include "ReportFixtures.h"
#include "ScriptedPrompter.h"
#include "TestDb.h"
#include "ToolRun.h"

#include "navigator/frmMain.h"
#include "reportengine/ReportEngine.h"
#include "repository/AppError.h"
#include "repository/Sql.h"
#include "samples/SampleSalesData.h"
#include "samples/SampleSet.h"
#include "shell/AppState.h"
#include "shell/ConnectDialog.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlError>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QtTest>

using namespace ReportFixtures;

namespace {

// Answers every variable with its default (or a scripted value) and keeps the lookup lists offered.
class LookupRecorder : public ReportParameterPrompter {
public:
    QMap<QString, QString> answers;
    QMap<QString, QStringList> offered; // variable -> values of its choices

    bool askVariable(const ReportVariable &v, const QList<LookupChoice> &choices, QString &value,
                     const QString &) override
    {
        QStringList values;
        for (const LookupChoice &c : choices)
            values << c.value;
        offered.insert(v.name, values);
        if (answers.contains(v.name))
            value = answers.value(v.name);
        return true;
    }
    QString askDestinationFile(const QString &p) override { return p; }
    void openDocument(const QString &) override {}
};

// Direct queries on the sales database: the figures the reports must show, found without them.
class SalesFile {
public:
    explicit SalesFile(const QString &path) : m_name(QStringLiteral("test-sales-%1").arg(++counter))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open())
            qFatal("cannot open the sales file");
    }
    ~SalesFile() { QSqlDatabase::removeDatabase(m_name); }
    QVariantList row(const QString &sql) const
    {
        QSqlQuery q = Sql::exec(QSqlDatabase::database(m_name), sql);
        QVariantList out;
        if (q.next())
            for (int i = 0; i < q.record().count(); ++i)
                out << q.value(i);
        return out;
    }
    QList<QVariantList> rows(const QString &sql) const
    {
        QSqlQuery q = Sql::exec(QSqlDatabase::database(m_name), sql);
        QList<QVariantList> out;
        while (q.next()) {
            QVariantList r;
            for (int i = 0; i < q.record().count(); ++i)
                r << q.value(i);
            out << r;
        }
        return out;
    }

private:
    static inline int counter = 0;
    QString m_name;
};

const QString NorthIn2025 = QStringLiteral(
    "From Sale s, Customer cu, City c Where cu.IdCustomer = s.IdCustomer And c.IdCity = cu.IdCity "
    "And c.Region = 'North' And s.SaleDate Like '2025-%'");

QString repositoryArgument(RepositorySession &session, const QString &backend)
{
    return backend == QLatin1String("sqlite") ? session.DatabasePath() : postgresUri(session.Connection());
}

QVariantList column(const QVariantList &rows, int c)
{
    QVariantList out;
    for (const QVariant &r : rows)
        out << r.toList().value(c);
    return out;
}

double sum(const QVariantList &values)
{
    double s = 0;
    for (const QVariant &v : values)
        s += v.toDouble();
    return s;
}

} // namespace

class TestSamples : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void salesDataIsPlausibleAndTheSameEveryTime()
    {
        const QString a = QDir(TestDb::tempDir()).filePath("a-sales.db");
        const QString b = QDir(TestDb::tempDir()).filePath("b-sales.db");
        SampleSalesData::Write(a);
        SampleSalesData::Write(b);
        SampleSalesData::Write(b); // replaces the file it wrote before
        QVERIFY(!QFileInfo::exists(b + ".part"));
        SalesFile fa(a), fb(b);
        const QString figures = QStringLiteral("Select Count(*), Sum(Amount), Min(SaleDate), Max(SaleDate), "
                                               "Count(Distinct IdCustomer) From Sale");
        QCOMPARE(fa.row(figures), fb.row(figures));
        const QVariantList f = fa.row(figures);
        QCOMPARE(f[0].toInt(), SampleSalesData::SaleCount);
        QVERIFY(f[2].toString() >= "2024-01-01" && f[3].toString() <= "2025-12-31");
        QVERIFY(f[4].toInt() > 40);
        // Every region sells in both years, and no amount is off its price, quantity and discount.
        QCOMPARE(fa.row("Select Count(*) From (Select c.Region, substr(s.SaleDate, 1, 4) From Sale s, Customer cu, City c "
                        "Where cu.IdCustomer = s.IdCustomer And c.IdCity = cu.IdCity Group By 1, 2)")[0].toInt(), 8);
        QCOMPARE(fa.row("Select Count(*) From Sale Where Abs(Amount - Round(Quantity * UnitPrice * (100 - Discount) / 100.0, 2)) > 0.006")[0].toInt(), 0);
    }

    void samplesInAnEmptyRepository_data() { TestDb::addBackends(); }
    void samplesInAnEmptyRepository()
    {
        QFETCH(QString, backend);
        RepositorySession session;
        TestDb::freshRepository(session, backend);
        const SampleSet::Created created = SampleSet::Add(session);
        QVERIFY(QFileInfo::exists(created.salesPath));
        if (backend == QLatin1String("sqlite"))
            QCOMPARE(QFileInfo(created.salesPath).absolutePath(), QFileInfo(session.DatabasePath()).absolutePath());
        else
            QVERIFY2(created.salesPath.startsWith(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)),
                     qPrintable(created.salesPath));

        // The category and its reports, as the navigator lists them.
        const CategoryRows top = session.GetSubCategoryRows(1);
        QCOMPARE(top.size(), 1);
        QCOMPARE(top[0].Name, SampleSet::CategoryName);
        QCOMPARE(top[0].IdCateg, created.category);
        QStringList names, types;
        for (const ReportRow &r : session.GetReportRows(created.category)) {
            names << r.Name;
            types << r.Version;
        }
        QCOMPARE(names, (QStringList{"Sales by city", "Monthly sales", "Sales by product", "Price list"}));
        QCOMPARE(types, (QStringList{"Velmora", "Velmora", "Excel", "Text"}));

        // Variables with types, captions, defaults and lookups; the city depends on the region.
        const DataSourceList sources = session.GetDataSourceList();
        QCOMPARE(sources.size(), 2);
        const DataSourceItem sales = sources[1];
        QCOMPARE(sales.Name, QStringLiteral("Sample sales"));
        QCOMPARE(sales.ConnectionString, QStringLiteral("sqlite:") + created.salesPath);
        const VariableRows vars = session.GetVariableRows(sales.IdDataSource);
        QStringList varNames;
        for (const VariableRow &v : vars)
            varNames << v.Name;
        QCOMPARE(varNames, (QStringList{"Region", "City", "DateFrom", "DateTo", "MinAmount"}));
        QCOMPARE(vars[3].Type.toInt(), 3);
        QCOMPARE(vars[4].Type.toInt(), 2);
        QCOMPARE(vars[1].Caption, QStringLiteral("City (* for every city)"));
        const DependenceRows cityDependsOn = session.GetDependenceRows(vars[1].IdVar, true);
        QCOMPARE(cityDependsOn.size(), 1);
        QCOMPARE(cityDependsOn[0].Name, QStringLiteral("Region"));

        // Macros with a reference between them and from reports.
        QStringList macroCategories = session.GetMacroCategoryList();
        QCOMPARE(macroCategories.size(), 1);
        const int macroCategory = macroCategories[0].section(IdNameSeparator, 0, 0).toInt();
        QCOMPARE(session.GetMacroList(macroCategory).size(), 3);
        int addTotals = 0;
        for (const QString &m : session.GetMacroList(macroCategory))
            if (m.endsWith(IdNameSeparator + "AddTotals"))
                addTotals = m.section(IdNameSeparator, 0, 0).toInt();
        QVERIFY(session.GetMacroBody(addTotals).contains("FormatHeader"));
        QCOMPARE(session.GetReferencedMacros(addTotals, "m").size(), 1);
        QVERIFY(session.GetReferencedMacros(addTotals, "m")[0].endsWith("FormatHeader"));
        QCOMPARE(session.GetReferencedMacros(created.reports[0], "r").size(), 1);

        // A role granted every sample report, held by the sample user.
        QSqlQuery roles = session.GetRoleRows(0);
        QVERIFY(roles.next());
        const int role = Sql::integer(roles, "IdRole");
        QCOMPARE(session.GetReportRows(-1, role).size(), 4);
        QSqlQuery apps = session.GetApplicationRows();
        int sampleUser = 0;
        while (apps.next()) {
            QSqlQuery users = session.GetApplicationUserRows(Sql::integer(apps, "IdApp"));
            while (users.next())
                if (Sql::text(users, "User") == QLatin1String("sample.reader"))
                    sampleUser = Sql::integer(users, "IdUserApp");
        }
        QVERIFY(sampleUser > 0);
        QSqlQuery held = session.GetRoleRows(sampleUser);
        QVERIFY(held.next());
        QCOMPARE(Sql::integer(held, "IdRole"), role);

        // A second set would duplicate names the library keeps unique: refused, nothing added.
        try {
            SampleSet::Add(session);
            QFAIL("a second sample set was added");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains("already holds"), qPrintable(e.description));
        }
        QCOMPARE(session.GetDataSourceList().size(), 2);

        // The city lookup offers the cities of the region answered first.
        ReportEngine engine;
        engine.Init(session.Connection(), 1);
        LookupRecorder asked;
        asked.answers.insert("Region", "South");
        const QString out = QDir(TestDb::tempDir()).filePath(backend + "-south.xlsx");
        QCOMPARE(engine.Run(created.reports[0], out, asked), out);
        QCOMPARE(asked.offered.value("Region"), (QStringList{"North", "South", "East", "West"}));
        QCOMPARE(asked.offered.value("City"), (QStringList{"*", "Ashport", "Bellmoor", "Southwold"}));

        // Deleted like anything else: to the recycle bin, then gone with its reports.
        session.DeleteItems({}, {created.category});
        QVERIFY(session.GetSubCategoryRows(1).isEmpty());
        QVERIFY(session.EmptyRecycleBin());
        QVERIFY(session.GetReportRows(-1).isEmpty());
    }

    void everySampleReportRunsWithItsDefaults_data() { TestDb::addBackends(); }
    void everySampleReportRunsWithItsDefaults()
    {
        QFETCH(QString, backend);
        RepositorySession session;
        TestDb::freshRepository(session, backend);
        const SampleSet::Created created = SampleSet::Add(session);
        const QString repo = repositoryArgument(session, backend);
        SalesFile sales(created.salesPath);
        auto run = [&](int report, const QString &file, const QStringList &extra = {}) {
            const QString out = QDir(TestDb::tempDir()).filePath(backend + "-" + file);
            QString stdOut, stdErr;
            const int rc = RunTool("velmora-report", QStringList{"--repository", repo, "--report", QString::number(report),
                                                                "--output", out} + extra, &stdOut, &stdErr);
            if (rc != 0)
                qWarning("velmora-report failed: %s", qPrintable(stdErr));
            return rc == 0 && stdOut.trimmed() == out ? out : QString();
        };
        auto read = [](const QString &path) {
            QString error;
            const QVariantMap wb = readWorkbook(path, &error);
            if (wb.isEmpty())
                qWarning("openpyxl: %s", qPrintable(error));
            return wb;
        };

        {   // Sales by city: title, header, one row per northern sale of 2025 in date order, totals.
            const QString path = run(created.reports[0], "sales-by-city.xlsx");
            QVERIFY(!path.isEmpty());
            const QVariantMap wb = read(path);
            const QVariantList rows = wb["rows"].toList();
            const QVariantList expected = sales.row("Select Count(*), Sum(s.Quantity), Round(Sum(s.Amount), 2), "
                                                    "Min(s.InvoiceNo) " + NorthIn2025);
            const int n = expected[0].toInt();
            QVERIFY(n > 300);
            QCOMPARE(rows.size(), 3 + n + 1);
            QCOMPARE(rows[0].toList()[0].toString(), QStringLiteral("Sales by city"));
            QCOMPARE(rows[2].toList(), (QVariantList{"InvoiceNo", "SaleDate", "City", "Customer", "Product", "Quantity",
                                                     "Amount", "IdSale"}));
            const QVariantList data = rows.mid(3, n);
            QCOMPARE(data[0].toList()[0].toString(), expected[3].toString());
            QVERIFY(data[0].toList()[1].toMap()["date"].toString().startsWith("2025-01"));
            QCOMPARE(sum(column(data, 5)), expected[1].toDouble());
            QVERIFY(qAbs(sum(column(data, 6)) - expected[2].toDouble()) < 0.005);
            const QVariantList total = rows.last().toList();
            QCOMPARE(total[0].toString(), QStringLiteral("Total"));
            QCOMPARE(total[5].toString(), QStringLiteral("=SUM(F4:F%1)").arg(3 + n));
            QCOMPARE(total[6].toString(), QStringLiteral("=SUM(G4:G%1)").arg(3 + n));
            QCOMPARE(wb["hidden"].toMap()["H"].toBool(), true);
            QCOMPARE(wb["freeze"].toString(), QStringLiteral("C4"));
            QCOMPARE(wb["filter"].toString(), QStringLiteral("A3:H%1").arg(3 + n));

            // The same report narrowed to one city gives that city's rows only.
            const QString one = run(created.reports[0], "kelmsby.xlsx", {"--set", "City=Kelmsby"});
            QVERIFY(!one.isEmpty());
            const QVariantList cityRows = read(one)["rows"].toList();
            const int m = sales.row("Select Count(*) " + NorthIn2025 + " And c.Name = 'Kelmsby'")[0].toInt();
            QVERIFY(m > 0 && m < n);
            QCOMPARE(cityRows.size(), 3 + m + 1);
            QCOMPARE(column(cityRows.mid(3, m), 2), QVariantList(m, QStringLiteral("Kelmsby")));
        }
        {   // Monthly sales: one row per month of 2025 with its invoices, units and amount.
            const QString path = run(created.reports[1], "monthly.xlsx");
            QVERIFY(!path.isEmpty());
            const QVariantMap wb = read(path);
            const QVariantList rows = wb["rows"].toList();
            const QList<QVariantList> expected = sales.rows("Select substr(s.SaleDate, 1, 7), Count(*), Sum(s.Quantity) "
                                                            + NorthIn2025 + " Group By 1 Order By 1");
            QCOMPARE(expected.size(), 12);
            QCOMPARE(rows.size(), 3 + 12 + 1);
            QCOMPARE(rows[2].toList(), (QVariantList{"Month", "Invoices", "Quantity", "Amount"}));
            for (int i = 0; i < 12; ++i) {
                const QVariantList r = rows[3 + i].toList();
                QCOMPARE(r[0].toString(), expected[i][0].toString());
                QCOMPARE(r[1].toDouble(), expected[i][1].toDouble());
                QCOMPARE(r[2].toDouble(), expected[i][2].toDouble());
            }
            QCOMPARE(rows.last().toList()[1].toString(), QStringLiteral("=SUM(B4:B15)"));
            QCOMPARE(wb["freeze"].toString(), QStringLiteral("A4"));
        }
        {   // Sales by product: every product, the units and revenue of 2025.
            const QString path = run(created.reports[2], "products.xlsx");
            QVERIFY(!path.isEmpty());
            const QVariantMap wb = read(path);
            const QVariantList rows = wb["rows"].toList();
            const QList<QVariantList> expected = sales.rows(
                "Select p.Category, p.Name, (Select Sum(Quantity) From Sale s Where s.IdProduct = p.IdProduct "
                "And s.SaleDate Like '2025-%') From Product p Order By 1, 2");
            QCOMPARE(rows.size(), 3 + expected.size() + 1);
            for (int i = 0; i < expected.size(); ++i) {
                const QVariantList r = rows[3 + i].toList();
                QCOMPARE(r[0].toString(), expected[i][0].toString());
                QCOMPARE(r[1].toString(), expected[i][1].toString());
                QCOMPARE(r[3].toDouble(), expected[i][2].toDouble());
            }
            QCOMPARE(wb["filter"].toString(), QStringLiteral("A3:E%1").arg(3 + expected.size()));

            // Another year and one category, as a scheduler would ask.
            const QString lighting = run(created.reports[2], "lighting.xlsx", {"--set", "Year=2024", "--set", "Category=Lighting"});
            QVERIFY(!lighting.isEmpty());
            const QVariantList lrows = read(lighting)["rows"].toList();
            const QVariantList l = sales.row("Select (Select Count(*) From Product Where Category = 'Lighting'), "
                                             "Sum(s.Quantity) From Product p, Sale s Where s.IdProduct = p.IdProduct "
                                             "And p.Category = 'Lighting' And s.SaleDate Like '2024-%'");
            QCOMPARE(lrows.size(), 3 + l[0].toInt() + 1);
            QCOMPARE(sum(column(lrows.mid(3, l[0].toInt()), 3)), l[1].toDouble());
        }
        {   // Price list: a text report; the hidden id column is left out.
            const QString path = run(created.reports[3], "prices.txt");
            QVERIFY(!path.isEmpty());
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.value(0), QStringLiteral("Product\tCategory\tUnitPrice\tUnitsSold"));
            const QList<QVariantList> expected = sales.rows(
                "Select p.Name, p.Category, (Select Sum(Quantity) From Sale s Where s.IdProduct = p.IdProduct "
                "And s.SaleDate Like '2025-%') From Product p Order By 2, 1");
            QCOMPARE(lines.size(), 1 + expected.size());
            for (int i = 0; i < expected.size(); ++i) {
                const QStringList fields = lines[1 + i].split('\t');
                QCOMPARE(fields.value(0), expected[i][0].toString());
                QCOMPARE(fields.value(3).toInt(), expected[i][2].toInt());
            }
        }
    }

    void initWithSamplesFromTheCommandLine()
    {
        const QString path = QDir(TestDb::tempDir()).filePath("cli-samples");
        QString out, err;
        QCOMPARE(RunTool("velmora-transfer", {"init", "--repository", path, "--sample"}, &out, &err), 0);
        QCOMPARE(out.trimmed(), path + ".mdb");
        QVERIFY(QFileInfo::exists(path + "-sample-sales.db"));
        RepositorySession session;
        session.OpenFile(path + ".mdb");
        QCOMPARE(session.GetSubCategoryRows(1).value(0).Name, SampleSet::CategoryName);
        const ReportRows reports = session.GetReportRows(session.GetSubCategoryRows(1).value(0).IdCateg);
        QCOMPARE(reports.size(), 4);
        session.ResetConnection();
        const QString written = QDir(TestDb::tempDir()).filePath("cli-prices.txt");
        QCOMPARE(RunTool("velmora-report", {"--repository", path + ".mdb", "--report", QString::number(reports[3].IdReport),
                                            "--output", written}, &out, &err), 0);
        QVERIFY(QFileInfo(written).size() > 100);
        // Without --sample the repository stays empty.
        QCOMPARE(RunTool("velmora-transfer", {"init", "--repository", path + "-empty"}, &out, &err), 0);
        QVERIFY(!QFileInfo::exists(path + "-empty-sample-sales.db"));
    }

    void sampleDatabaseFromTheFileMenu()
    {
        ScriptedPrompter p;
        TestDb::freshAppSession("sqlite");
        frmMain *main = frmMain::instance();
        const QString chosen = QDir(TestDb::tempDir()).filePath("menu-samples");
        p.files.enqueue(chosen);
        QAction *entry = main->findChild<QAction *>("mnuNewSampleDB");
        QVERIFY(entry);
        QCOMPARE(entry->text().remove('&'), QStringLiteral("Sample database"));
        QVERIFY(main->mnuNew->actions().contains(entry));
        entry->trigger();
        QCOMPARE(p.messages(), QStringList());
        QCOMPARE(p.last().title, QStringLiteral("Enter DB name and DB path ..."));
        QCOMPARE(App::session().DatabasePath(), chosen + ".mdb");
        QCOMPARE(main->panelText(2), chosen + ".mdb");
        QVERIFY(QFileInfo::exists(chosen + "-sample-sales.db"));
        // The samples' category is shown with its reports.
        QCOMPARE(main->txtRep->text().contains(SampleSet::CategoryName), true);
        QStringList listed;
        for (int i = 0; i < main->lstRep->topLevelItemCount(); ++i)
            listed << main->lstRep->topLevelItem(i)->text(0);
        QCOMPARE(listed, (QStringList{"Sales by city", "Monthly sales", "Sales by product", "Price list"}));

        // A file that cannot be written is reported and the program stays where it was.
        p.clear();
        p.files.enqueue("/proc/no-such-folder/x");
        entry->trigger();
        QCOMPARE(p.messages().size(), 1);
        QVERIFY(p.messages()[0].contains("Origin : mnuNewSampleDB_Click()"));
        QCOMPARE(App::session().DatabasePath(), chosen + ".mdb");
        QCOMPARE(App::session().GetSubCategoryRows(1).size(), 1);
    }

    void firstStartCreatesTheDefaultWithSamples()
    {
        ScriptedPrompter p;
        const QString path = ConnectDialog::DefaultRepositoryPath();
        QFile::remove(path);
        RepositorySession session;
        for (int start = 0; start < 2; ++start) { // the second start opens what the first made
            ConnectDialog dlg(session);
            dlg.optFile->setChecked(true);
            dlg.txtFile->setText(path);
            dlg.show();
            dlg.cmdOK->click();
            QCOMPARE(p.messages(), QStringList());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            const CategoryRows top = session.GetSubCategoryRows(1);
            QCOMPARE(top.size(), 1);
            QCOMPARE(top[0].Name, SampleSet::CategoryName);
        }
        QCOMPARE(SampleSet::SalesPath(session), QFileInfo(path).absolutePath() + "/repository-sample-sales.db");
        QVERIFY(QFileInfo::exists(SampleSet::SalesPath(session)));
        session.ResetConnection();
    }
};

QTEST_MAIN(TestSamples)
#include "test_samples.moc"
