#pragma once

#include "ImportOptions.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// What an import with given options will do, found before anything is written.
struct ImportPlan {
    struct Report {
        int packageId = 0;
        QString name;
        QString action;            // "add", "overwrite" or "refused"
        int destinationId = 0;     // the report it overwrites (or that holds it back); 0 with "add"
        int destinationCategory = 0; // with "add"
        QString folder;            // with "add" and the package's folders: their path under the category
        QString reason;            // with "refused"
        QStringList warnings;
    };
    // A data source, variable, macro category, macro, role, application or user.
    struct Item {
        int packageId = 0;
        QString name;
        QString action;        // "add" or "reuse" (the repository has it by name)
        int destinationId = 0; // with "reuse"
        QString note;
    };
    QList<Report> reports;
    QList<Item> dataSources, variables, macroCategories, macros, roles, applications, users;
    // Every problem that keeps the import from running.
    QStringList problems;

    bool refused() const { return !problems.isEmpty(); }
    int count(const QString &action) const; // reports with that action
};

// Reads the package named in options and the connected destination; writes to neither.
// Throws AppError only when the destination cannot be read (a package it cannot take is a problem).
ImportPlan PlanImport(const QSqlDatabase &destination, const ImportOptions &options);
