#pragma once

#include "ReportParameters.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

// Everything the engine needs to produce one report, read from the repository in one go.
struct ReportColumnDef {
    enum Type { Auto = 0, Text = 1, Number = 2, Date = 3 }; // as the data says, or forced
    QString name;
    int type = Auto;
    int width = 0; // characters; 0 = the sheet's default
    bool hide = false;
    bool autoSum = false;
};

struct SheetSettings {
    QString sheetName;
    QString showGridLines;   // stored setting texts: "", "0"/"1", "True"/"False", "Yes"/"No"
    QString showAutoFilters;
    QString fontName;
    double fontSize = 0;
    QString reportTitle;
    QString freezPanel;      // a truth value (freeze under the header) or a cell such as "B3"
};

struct ReportDefinition {
    int id = 0;
    QString name;
    QString filePath;
    QString version;
    bool destinationAtRuntime = false;
    SheetSettings sheet;
    QList<ReportColumnDef> columns;
    int dataSourceId = 0;
    QString dataSourceName;
    QString connectionString;
    bool isJet = false;
    QString sql;
    QList<ReportVariable> variables; // in asking order: every variable after those it depends on

    bool isText() const { return version.compare(QLatin1String("Text"), Qt::CaseInsensitive) == 0; }
};

// Reads a report's definition; throws AppError for a missing report, data source or SQL view,
// and for variables that depend on each other in a circle.
ReportDefinition LoadReportDefinition(const QSqlDatabase &repository, int reportId);

// Orders variables (given by SortNr) so that each comes after the ones it depends on; keeps the
// SortNr order otherwise. Throws AppError naming the variables of a circular dependency.
QList<ReportVariable> OrderVariables(const QList<ReportVariable> &bySortNr);

// Reads a stored truth setting: empty gives `fallback`; "0", "False", "No", "Off" are false.
bool SettingIsOn(const QString &stored, bool fallback);
