#pragma once

#include <QString>
#include <functional>

class QIcon;
class QTreeWidget;
class QWidget;
class ReportEngine;

// The report workbook entries of the main window. Each is a whole command: it runs under the one
// error trap with its own origin text, so the window's handler only passes the selected values.
namespace WorkbookCommands {

// App::reportEngine(), pointed at the session's connection and the current company, asking its
// variables through the console's dialogs.
ReportEngine &ConsoleEngine();

// Double-click (or "Open") on a report row: runs "Create report in existing workbook" when that
// menu entry (objectName "mnuOpExRep" under mainWindow) is checked, "Create new report"
// ("mnuOpNewRep") when that one is; nothing when neither is. Without those entries the program's
// OpenInExistingWorkbook decides. Origin "modMain.lstRep_DblClick()".
void OpenReportByMode(QWidget *mainWindow, int reportId);
// Enter on a report row. Origin "modMain.lstRep_KeyDown()".
void OpenReportOnEnter(int reportId);
// "Create new report". Origin "modMain.mnuOpNewRep_Click()".
void CreateNewReport(int reportId);
// "Create report in existing workbook". Origin "modMain.mnuOpExRep_Click()".
void CreateReportInExistingWorkbook(int reportId);
// "Process Report": writes the destination and says so. Origin "modMain.mnuProcessRep_Click()".
void ProcessReport(int reportId);
// List background "&Import": asks a document file and adds it as a new report of the category
// (0 = no tree node selected), as a new selected row of lstRep (columns 0 Name, 1 Destination
// file, 2 Type, 3 Modified, 4 Check Out). Returns the new report id, 0 when none.
// Origin "mnuImportDocs_Click()".
int ImportDocument(QTreeWidget *lstRep, int categoryId);

// The entries without an error trap of their own, for a caller that reports failures under its
// own origin (a double-click that runs one of the entries).
void createNewReport(int reportId);
void createReportInExistingWorkbook(int reportId);
void openReportOnEnter(int reportId);

// The icon of an image-list index (the navigator's ImageList1), used for the imported row.
void setImageProvider(std::function<QIcon(int)> provider);

} // namespace WorkbookCommands
