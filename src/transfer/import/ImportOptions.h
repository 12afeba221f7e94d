#pragma once

#include <QHash>
#include <QList>
#include <QString>

// What the import dialog (or the command line) chose for one import run.
struct ImportOptions {
    enum class Choice { ForReports, Selected };

    QString packagePath;
    int idCategDest = 1;          // category of every new report
    QList<int> reportIds;         // package report ids, in tree order
    Choice dataSources = Choice::Selected;
    QList<int> dataSourceIds;     // with Selected
    Choice macros = Choice::ForReports;
    QList<int> macroIds;          // with Selected
    bool roles = false;
    bool users = false;
    // Recreate each new report's package folders under idCategDest.
    bool folders = false;
    // The administrator running the import (ZAT_UserApp id): a partner checked out by anyone
    // else is left unchanged. 0: every check-out holds its report.
    int currentUserId = 0;
    // package IdReport -> SyncronizeCode of the destination report it overwrites
    QHash<int, QString> syncPairs;
};
