#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

class RepositorySession;

// Library item objects: a category or report as read by GetCategory / GetReport. They live only
// as long as the command that fetched them; Save writes the editable fields back.
class CategoryItem {
public:
    int IdCategory = 0;
    QString Name;        // null QString when stored as Null
    QString Description;
    int IdParent = 0;    // 0 = top level
    int SortNr = 0;
    bool IsDeleted = false;

    bool Save(); // name and description

    // A category from a row holding its columns and its SortNr.
    static CategoryItem fromRow(const QSqlQuery &q, const QSqlDatabase &db);

private:
    friend class RepositorySession;
    QSqlDatabase m_db;
};

class ReportItem {
public:
    int IdReport = 0;
    QString Name;
    QString FilePath;
    QString Version;
    QDateTime Modified;
    QString Description;
    int IdCateg = 0;
    int SortNr = 0;
    int IdExtension = 0;
    bool IsDeleted = false;
    int IdUserAppCheckOut = 0;

    bool Save(); // name, destination file, type and description; stamps Modified

    // A report from a row holding its columns and its SortNr.
    static ReportItem fromRow(const QSqlQuery &q, const QSqlDatabase &db);

private:
    friend class RepositorySession;
    QSqlDatabase m_db;
};
