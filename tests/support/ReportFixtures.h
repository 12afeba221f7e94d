#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>

// Report definitions written straight into a test repository, and workbooks read back.
namespace ReportFixtures {

struct Column {
    QString name;
    int type = 0;
    int width = 0;
    bool hide = false;
    bool autoSum = false;
};

struct Report {
    QString name = QStringLiteral("Sales");
    QString filePath;
    QString version = QStringLiteral("Excel");
    bool destinationAtRuntime = false;
    int category = 1;
    bool withSheet = true;
    QString sheetName;
    QString title;
    QString gridLines;
    QString autoFilters;
    QString freeze;
    QString fontName;
    double fontSize = 0;
    QList<Column> columns;
    int dataSource = 0;
    QString sql;
};

int addDataSource(const QSqlDatabase &repo, const QString &name, const QString &connectionString, bool isJet = false);
int addVariable(const QSqlDatabase &repo, int dataSource, const QString &name, int type, const QString &caption = {},
                const QString &defaultValue = {}, const QString &lookup = {}, int sortNr = 0);
void addDependency(const QSqlDatabase &repo, int idVar, int idDep);
int addReport(const QSqlDatabase &repo, const Report &r);

// The PostgreSQL URI of the database `db` is connected to (same server as VELMORA_TEST_PG).
QString postgresUri(const QSqlDatabase &db);

// The python3 that has openpyxl (Debian's, ahead of any other on PATH).
QString python();
// Reads a workbook back with openpyxl; the JSON of: sheets, rows (values; dates as
// {"date": iso}), widths and hidden by column letter, filter, freeze, grid, font of a data cell.
QVariantMap readWorkbook(const QString &path, QString *error = nullptr);

} // namespace ReportFixtures
