#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// One column of a report's worksheet (ZAT_ReportCols), in display order.
struct ReportColumnDefinition {
    QString Name;
    int Type = 0;   // the workbook generator's type code, kept as stored
    int Width = 0;
    bool Hide = false;
    bool AutoSum = false;

    bool operator==(const ReportColumnDefinition &) const = default;
};

// Everything that defines what a report does, spread over the report row, its worksheet
// settings, its data-source link and SQL view, its columns and the macros it uses.
struct ReportDefinition {
    int IdReport = 0;

    // ZAT_Report
    QString Name;
    QString FilePath;
    QString Version;
    QString Description;
    QDateTime Modified; // stamped by SaveReportDefinition
    bool DestinationFileAtRuntime = false;
    bool DelExSheet = false;
    bool ShowDeleted = false;
    int IdCateg = 0;           // read only: moving belongs to the navigator
    int IdUserAppCheckOut = 0; // read only: changes by check-out and check-in

    // ZAT_ReportDS and ZAT_SQLViews
    int IdDataSource = 0; // 0 = none
    QString SQLView;

    // ZAT_ExcelSheetSettings. The three switches keep their stored text, whose form belongs to
    // the workbook generator; SettingIsOn / SettingText translate for check boxes.
    QString SheetName;
    QString ShowGridLines;
    QString ShowToolTips;
    QString ShowAutoFilters;
    QString FontName;
    double FontSize = 8;
    QString ReportTitle;
    QString FreezPanel;
    QString GroupCols;

    QList<ReportColumnDefinition> Columns;
    QList<int> MacroIds; // ZAT_References with Tip "r", in order

    static bool SettingIsOn(const QString &stored);
    // The text to store for a switch: the stored text when it already says the same.
    static QString SettingText(bool on, const QString &stored);
};
