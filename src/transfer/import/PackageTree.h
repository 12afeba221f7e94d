#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

// The categories and reports of a package as the import tree shows them.
struct PackageTree {
    struct Category {
        int id = 0;
        int parent = 0;   // the node it hangs under; 0 = top level
        QString name;     // null when the package holds Null
    };
    struct Report {
        int id = 0;
        int categ = 0;    // the package's IdCateg (the node's Tag)
        int node = 0;     // the category node it hangs under; 0 = top level
        QString name;
    };
    QList<Category> categories; // a parent always comes before its children
    QList<Report> reports;      // by name: the order reports are imported in

    QList<int> reportIds() const;
};

// Reads the tree of an open package. Every live report that lies outside the recycle bin and
// outside deleted categories is placed, even when its category has no sort row, comes late in
// sort order or is missing from the package (then it goes under the root).
PackageTree LoadPackageTree(const QSqlDatabase &package);
