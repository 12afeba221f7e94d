#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// One column of a report's worksheet (ZAT_ReportCols), in display order.
struct ReportColumnDefinition {
    QString Name;
    int Type = 0;   // 0 as the data says, 1 text, 2 number, 3 date; other codes kept as stored
    int Width = 0;  // characters; 0 = the sheet's default
    bool Hide = false;
    bool AutoSum = false;

    bool operator==(const ReportColumnDefinition &) const = default;
};

// Everything that defines what a report does, spread over the report row, its worksheet
// settings, its data-source link and SQL view, its columns and the macros it uses.
struct ReportDefinitionItem {
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

    // ZAT_ExcelSheetSettings. The three switches keep their stored text ("", "0"/"1",
    // "True"/"False", "Yes"/"No"); SettingIsOn / SettingText translate for check boxes. An empty
    // text means the workbook's default: grid lines shown, tool tips and filters off.
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

    static bool SettingIsOn(const QString &stored, bool whenEmpty);
    // The text to store for a switch: the stored text when it already says the same.
    static QString SettingText(bool on, const QString &stored, bool whenEmpty);
};
