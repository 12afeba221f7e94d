#pragma once

#include "ReportDefinition.h"

#include <QSqlQuery>
#include <QString>

// Write the rows of an executed (forward-only) query into `path`, one row at a time, so memory
// stays flat however many rows come. Both return the number of data rows written and throw
// AppError when the file cannot be written; the caller removes the partial file then.

// An .xlsx workbook with the sheet settings and columns of the definition: title row (when the
// report has a title), header row, typed cells, widths, hidden columns, a total row with a sum
// formula under every total column, auto filter, frozen panes, grid lines, font and size.
qint64 WriteWorkbook(const QString &path, const ReportDefinition &def, QSqlQuery &query);

// Tab-separated UTF-8 text: the header line, then one line per row. Hidden columns are left out;
// tabs and line breaks inside values become blanks so that every row stays one line.
qint64 WriteTextFile(const QString &path, const ReportDefinition &def, QSqlQuery &query);

// A worksheet name Excel accepts: forbidden characters replaced, at most 31 characters, never empty.
QString SafeSheetName(const QString &name);
