#pragma once

#include <QList>
#include <QString>

class RepositorySession;

// The nodes of the export tree, in the order they are added (the order the export walks them).
struct ExportTreeNode {
    bool isCategory = false;
    int id = 0;           // IdCateg or IdReport
    int parentCategory = 0; // the category node it is placed under; 0 = top level
    QString name;         // null when stored as Null ("Unknown")
    int idCateg = 0;      // the report's own category (the node's tag)
};

// Live categories outside the recycle bin, each after its parent and siblings by sort order. A
// category whose parent is not in the tree (deleted, or lacking its sort row and parent) is
// placed at top level, so that its reports stay reachable.
QList<ExportTreeNode> LoadExportCategories(RepositorySession &session);

// Live reports by name, each under its category's node. Reports of deleted categories and of
// the recycle bin are left out; a report whose category does not exist is placed at top level.
QList<ExportTreeNode> LoadExportReports(RepositorySession &session, const QList<ExportTreeNode> &categories);

// The reports of the tree in export order: all of them, or those under category (0 = all).
QList<int> ExportTreeReportIds(const QList<ExportTreeNode> &categories, const QList<ExportTreeNode> &reports,
                               int category = 0);
