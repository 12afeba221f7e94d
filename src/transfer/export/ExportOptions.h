#pragma once

#include <QList>
#include <QString>

// What the export dialog (or the command line) chose, as plain values.
struct ExportOptions {
    enum class MacroMode { ForReports, Selected };
    enum class DataSourceMode { ForReports, Selected };

    QString packagePath;
    QList<int> reportIds; // in the order of the export tree
    MacroMode macroMode = MacroMode::ForReports;
    QList<int> macroIds; // used with MacroMode::Selected
    DataSourceMode dataSourceMode = DataSourceMode::ForReports;
    QList<int> dataSourceIds; // used with DataSourceMode::Selected
    bool folders = true;
    bool roles = true;
    bool users = true;
};
