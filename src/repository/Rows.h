#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// Rows the library returns for trees and lists. A null text column reads as a null QString
// (isNull()), so callers can tell a Null name ("Unknown") from an empty one.

struct CategoryRow {
    int IdCateg = 0;
    int IdParent = 0; // 0 = top level (also when stored as Null)
    QString Name;
    int SortNr = 0;
};

struct ReportRow {
    int IdReport = 0;
    int IdCateg = 0;
    QString Name;
    int IdExtension = 0; // 0 = Null
    QString FilePath;
    QString Version;
    QDateTime Modified;
    int IdUserAppCheckOut = 0; // 0 = nobody
    QString UserFName;
    QString UserLName;
    int SortNr = 0;
};

using CategoryRows = QList<CategoryRow>;
using ReportRows = QList<ReportRow>;
