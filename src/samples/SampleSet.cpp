#include "SampleSet.h"

#include "SampleSalesData.h"
#include "repository/AppError.h"
#include "repository/RepositorySession.h"
#include "repository/Sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <utility>

namespace {

const QString SalesSource = QStringLiteral("Sample sales");
const QString CatalogueSource = QStringLiteral("Sample catalogue");
const QString MacroCategory = QStringLiteral("Sample macros");
const QString RoleName = QStringLiteral("Sample readers");
const QString AppName = QStringLiteral("Sample client");

// The sales, and the filters every report of the "Sample sales" data source applies.
const QString SalesFrom = QStringLiteral(
    "From Sale s Join Customer cu On cu.IdCustomer = s.IdCustomer Join City c On c.IdCity = cu.IdCity\n");
const QString SalesWhere = QStringLiteral(
    "Where c.Region = :Region And (:City = '*' Or c.Name = :City)\n"
    "  And s.SaleDate >= Coalesce(:DateFrom, '0000-01-01') And s.SaleDate <= Coalesce(:DateTo, '9999-12-31')\n"
    "  And (:MinAmount Is Null Or s.Amount >= :MinAmount)\n");

struct Variable {
    QString name;
    int type;
    QString caption;
    QString defaultValue;
    QString lookup;
};

QString fileSafe(QString s)
{
    for (QChar &c : s)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('.'))
            c = QLatin1Char('_');
    return s;
}

void refuseTaken(RepositorySession &session)
{
    QSqlDatabase db = session.Connection();
    QStringList taken;
    auto check = [&](const QString &sql, const QString &name, const QString &what) {
        if (Sql::scalar(db, sql, {name}).toInt() > 0)
            taken << QStringLiteral("%1 \"%2\"").arg(what, name);
    };
    check(QStringLiteral("Select Count(*) From ZAT_Category Where IdParent = 1 And Name = ? And Coalesce(IsDeleted, 0) = 0"),
          SampleSet::CategoryName, QStringLiteral("category"));
    for (const QString &ds : {SalesSource, CatalogueSource})
        check(QStringLiteral("Select Count(*) From ZAT_DataSource Where Name = ?"), ds, QStringLiteral("data source"));
    check(QStringLiteral("Select Count(*) From ZAT_CategMacros Where Denumire = ?"), MacroCategory,
          QStringLiteral("macro category"));
    check(QStringLiteral("Select Count(*) From ZAT_Role Where Role = ?"), RoleName, QStringLiteral("role"));
    check(QStringLiteral("Select Count(*) From ZAT_App Where AppName = ?"), AppName, QStringLiteral("application"));
    if (!taken.isEmpty())
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The repository already holds the samples' %1; the samples were not added.")
                           .arg(taken.join(QStringLiteral(", "))));
}

int required(int id, const QString &what)
{
    if (id <= 0)
        throw AppError(ErrorNumber::Generic, QStringLiteral("The sample %1 could not be stored.").arg(what));
    return id;
}

int addDataSource(RepositorySession &session, const QString &name, const QString &salesPath, const QString &description,
                  const QList<Variable> &variables, QList<int> &varIds)
{
    DataSourceItem ds(session);
    ds.Name = name;
    ds.ConnectionString = QStringLiteral("sqlite:") + salesPath;
    ds.IsJet = 1;
    ds.Description = description;
    if (!ds.Save())
        throw AppError(ErrorNumber::Generic, QStringLiteral("The sample data source could not be stored."));
    QStringList changes;
    int sortNr = 0;
    for (const Variable &v : variables) {
        ++sortNr;
        changes << ChangeRecord::join({QString::number(sortNr), QStringLiteral("0"), v.name, QString::number(v.type),
                                       v.caption, v.defaultValue, v.lookup, QString::number(sortNr)});
    }
    if (!session.SaveVariables(ds.IdDataSource, changes, {}))
        throw AppError(ErrorNumber::Generic, QStringLiteral("The sample variables could not be stored."));
    varIds.clear();
    for (const QString &c : std::as_const(changes))
        varIds << ChangeRecord::split(c).at(1).toInt();
    return ds.IdDataSource;
}

struct Report {
    QString name;
    int kind;
    QString file;
    QString description;
    int dataSource;
    QString sql;
    QString title;
    QString filters;
    QString freeze;
    QList<ReportColumnDefinition> columns;
    QList<int> macros;
};

int addReport(RepositorySession &session, int category, const Report &r)
{
    const ReportItem item = session.NewReport(category, r.kind, r.name);
    ReportDefinitionItem def = session.GetReportDefinition(item.IdReport);
    def.FilePath = r.file;
    def.Description = r.description;
    def.IdDataSource = r.dataSource;
    def.SQLView = r.sql;
    def.SheetName = r.name;
    def.ReportTitle = r.title;
    def.ShowGridLines = QStringLiteral("True");
    def.ShowAutoFilters = r.filters;
    def.FreezPanel = r.freeze;
    def.FontName = QString();
    def.FontSize = 10;
    def.Columns = r.columns;
    def.MacroIds = r.macros;
    session.SaveReportDefinition(def);
    return item.IdReport;
}

ReportColumnDefinition column(const QString &name, int type, int width, bool hide = false, bool sum = false)
{
    ReportColumnDefinition c;
    c.Name = name;
    c.Type = type;
    c.Width = width;
    c.Hide = hide;
    c.AutoSum = sum;
    return c;
}

int addMacro(RepositorySession &session, int category, const QString &name, const QString &body)
{
    QString why;
    const int id = required(session.SaveMacro(name, category, 0, &why), QStringLiteral("macro ") + name);
    session.SaveMacroBody(id, body);
    return id;
}

} // namespace

QString SampleSet::SalesPath(const RepositorySession &session)
{
    if (session.DatabaseKind() == RepositorySession::FileDatabase) {
        const QFileInfo repo(session.DatabasePath());
        return repo.absoluteDir().filePath(repo.completeBaseName() + QStringLiteral("-sample-sales.db"));
    }
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.velmora");
    const QString server = session.ServerName().isEmpty() ? QStringLiteral("local") : session.ServerName();
    return QDir(dir).filePath(QStringLiteral("samples/") +
                              fileSafe(QStringLiteral("%1-%2-%3").arg(server).arg(session.ServerPort()).arg(session.DatabaseName()))
                              + QStringLiteral("-sales.db"));
}

SampleSet::Created SampleSet::Add(RepositorySession &session, const QString &salesPathArg)
{
    refuseTaken(session);
    Created out;
    out.salesPath = QFileInfo(salesPathArg.isEmpty() ? SalesPath(session) : salesPathArg).absoluteFilePath();
    SampleSalesData::Write(out.salesPath);

    QList<int> salesVars, catalogueVars;
    const int sales = addDataSource(
        session, SalesSource, out.salesPath, QStringLiteral("Sales of the sample company, 2024 and 2025"),
        {{QStringLiteral("Region"), 1, QStringLiteral("Region"), QStringLiteral("North"),
          QStringLiteral("Select Name From Region Order By SortNr")},
         {QStringLiteral("City"), 1, QStringLiteral("City (* for every city)"), QStringLiteral("*"),
          QStringLiteral("Select Value, Caption From (Select '*' As Value, '(every city)' As Caption, 0 As Rank\n"
                         "  Union All Select Name, Name, 1 From City Where Region = :Region)\nOrder By Rank, Value")},
         {QStringLiteral("DateFrom"), 3, QStringLiteral("From date"), QStringLiteral("2025-01-01"), QString()},
         {QStringLiteral("DateTo"), 3, QStringLiteral("To date"), QStringLiteral("2025-12-31"), QString()},
         {QStringLiteral("MinAmount"), 2, QStringLiteral("Smallest invoice amount"), QStringLiteral("0"), QString()}},
        salesVars);
    // The cities offered are those of the region chosen first.
    if (!session.SaveDependences(salesVars.at(1), {salesVars.at(0)}))
        throw AppError(ErrorNumber::Generic, QStringLiteral("The sample dependency could not be stored."));
    const int catalogue = addDataSource(
        session, CatalogueSource, out.salesPath, QStringLiteral("Products of the sample company"),
        {{QStringLiteral("Category"), 1, QStringLiteral("Product category (* for all)"), QStringLiteral("*"),
          QStringLiteral("Select Value, Caption From (Select '*' As Value, '(all categories)' As Caption, 0 As Rank\n"
                         "  Union All Select Distinct Category, Category, 1 From Product)\nOrder By Rank, Value")},
         {QStringLiteral("Year"), 2, QStringLiteral("Year"), QStringLiteral("2025"),
          QStringLiteral("Select Distinct substr(SaleDate, 1, 4) From Sale Order By 1")}},
        catalogueVars);

    QString why;
    const int macroCategory = required(session.SaveMacroCategory(MacroCategory, 0, &why), QStringLiteral("macro category"));
    const int formatHeader = addMacro(session, macroCategory, QStringLiteral("FormatHeader"),
                                      QStringLiteral("Sub FormatHeader(ws, headerRow)\r\n"
                                                     "    ' Bold header with a light fill\r\n"
                                                     "    ws.Rows(headerRow).Font.Bold = True\r\n"
                                                     "    ws.Rows(headerRow).Interior.Color = RGB(221, 235, 247)\r\n"
                                                     "End Sub\r\n"));
    const int addTotals = addMacro(session, macroCategory, QStringLiteral("AddTotals"),
                                   QStringLiteral("Sub AddTotals(ws, headerRow)\r\n"
                                                  "    FormatHeader ws, headerRow\r\n"
                                                  "    ' The total row under the last data row stands out\r\n"
                                                  "    ws.UsedRange.Rows(ws.UsedRange.Rows.Count).Font.Bold = True\r\n"
                                                  "End Sub\r\n"));
    const int autoFit = addMacro(session, macroCategory, QStringLiteral("AutoFitColumns"),
                                 QStringLiteral("Sub AutoFitColumns(ws)\r\n"
                                                "    ws.UsedRange.Columns.AutoFit\r\n"
                                                "End Sub\r\n"));
    session.SaveReferences(addTotals, {formatHeader}, QStringLiteral("m"));

    out.category = session.NewCategory(1, CategoryName).IdCategory;
    {
        CategoryItem c = session.GetCategory(out.category);
        c.Description = QStringLiteral("Sample reports on a small sales database; delete the category when done.");
        c.Save();
    }

    enum { Auto = 0, Text = 1, Number = 2, Date = 3 };
    const QList<Report> reports{
        {QStringLiteral("Sales by city"), RepositorySession::KindVelmora, QStringLiteral("Sales by city.xlsx"),
         QStringLiteral("Every sale of a region (or one of its cities) in a period, with totals"), sales,
         QStringLiteral("Select s.InvoiceNo, s.SaleDate, c.Name As City, cu.Name As Customer, p.Name As Product,\n"
                        "       s.Quantity, s.Amount, s.IdSale\n")
             + SalesFrom + QStringLiteral("  Join Product p On p.IdProduct = s.IdProduct\n") + SalesWhere
             + QStringLiteral("Order By s.SaleDate, s.InvoiceNo"),
         QStringLiteral("Sales by city"), QStringLiteral("True"), QStringLiteral("C4"),
         {column(QStringLiteral("InvoiceNo"), Text, 12), column(QStringLiteral("SaleDate"), Date, 12),
          column(QStringLiteral("City"), Auto, 14), column(QStringLiteral("Customer"), Auto, 22),
          column(QStringLiteral("Product"), Auto, 22), column(QStringLiteral("Quantity"), Number, 10, false, true),
          column(QStringLiteral("Amount"), Number, 12, false, true), column(QStringLiteral("IdSale"), Auto, 8, true)},
         {addTotals}},
        {QStringLiteral("Monthly sales"), RepositorySession::KindVelmora, QStringLiteral("Monthly sales.xlsx"),
         QStringLiteral("Invoices, units and amount per month"), sales,
         QStringLiteral("Select substr(s.SaleDate, 1, 7) As Month, Count(*) As Invoices, Sum(s.Quantity) As Quantity,\n"
                        "       Round(Sum(s.Amount), 2) As Amount\n")
             + SalesFrom + SalesWhere + QStringLiteral("Group By substr(s.SaleDate, 1, 7)\nOrder By 1"),
         QStringLiteral("Monthly sales"), QString(), QStringLiteral("True"),
         {column(QStringLiteral("Month"), Text, 10), column(QStringLiteral("Invoices"), Number, 10, false, true),
          column(QStringLiteral("Quantity"), Number, 10, false, true),
          column(QStringLiteral("Amount"), Number, 14, false, true)},
         {addTotals}},
        {QStringLiteral("Sales by product"), RepositorySession::KindExcel, QStringLiteral("Sales by product.xlsx"),
         QStringLiteral("Units and revenue of each product in a year"), catalogue,
         QStringLiteral("Select p.Category, p.Name As Product, Count(s.IdSale) As Invoices,\n"
                        "       Coalesce(Sum(s.Quantity), 0) As Quantity, Round(Coalesce(Sum(s.Amount), 0), 2) As Revenue\n"
                        "From Product p Left Join Sale s On s.IdProduct = p.IdProduct\n"
                        "  And substr(s.SaleDate, 1, 4) = Cast(:Year As Text)\n"
                        "Where :Category = '*' Or p.Category = :Category\n"
                        "Group By p.IdProduct, p.Category, p.Name\nOrder By p.Category, p.Name"),
         QStringLiteral("Sales by product"), QStringLiteral("True"), QStringLiteral("True"),
         {column(QStringLiteral("Category"), Text, 14), column(QStringLiteral("Product"), Auto, 24),
          column(QStringLiteral("Invoices"), Number, 10, false, true),
          column(QStringLiteral("Quantity"), Number, 10, false, true),
          column(QStringLiteral("Revenue"), Number, 14, false, true)},
         {autoFit}},
        {QStringLiteral("Price list"), RepositorySession::KindText, QStringLiteral("Price list.txt"),
         QStringLiteral("Tab-separated price list with the units sold in a year"), catalogue,
         QStringLiteral("Select p.IdProduct, p.Name As Product, p.Category, p.UnitPrice,\n"
                        "       (Select Coalesce(Sum(s.Quantity), 0) From Sale s Where s.IdProduct = p.IdProduct\n"
                        "          And substr(s.SaleDate, 1, 4) = Cast(:Year As Text)) As UnitsSold\n"
                        "From Product p\nWhere :Category = '*' Or p.Category = :Category\nOrder By p.Category, p.Name"),
         QString(), QString(), QString(),
         {column(QStringLiteral("IdProduct"), Auto, 0, true), column(QStringLiteral("Product"), Auto, 0),
          column(QStringLiteral("Category"), Auto, 0), column(QStringLiteral("UnitPrice"), Number, 0),
          column(QStringLiteral("UnitsSold"), Number, 0)},
         {}},
    };
    for (const Report &r : reports)
        out.reports << addReport(session, out.category, r);

    const int role = required(session.AddRole(RoleName), QStringLiteral("role"));
    session.SaveRoleReports(role, out.reports);
    const int app = required(session.AddApplication(AppName), QStringLiteral("application"));
    const int user = session.SaveUser(0, 1001, QStringLiteral("sample.reader"), QStringLiteral("Sam"),
                                      QStringLiteral("Reader"), QStringLiteral("reader"), app);
    session.SaveUserRoles(user, {role});
    return out;
}

SampleSet::Created SampleSet::CreateRepository(const QString &path)
{
    RepositorySession session;
    session.setDatabasePath(path);
    bool created = false;
    try {
        QDir().mkpath(QFileInfo(path).absolutePath());
        session.CreateDatabase(path);
        created = true;
        session.OpenFile(path);
        Created out = Add(session);
        session.ResetConnection();
        return out;
    } catch (...) {
        const QString sales = SalesPath(session);
        session.ResetConnection();
        if (created) {
            QFile::remove(path);
            QFile::remove(sales);
        }
        throw;
    }
}
