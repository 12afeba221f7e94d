// Entries of the main window whose commands live in other parts of the console. Each is wired
// to its menu entry, toolbar button or key already; an empty body is a command still to come.
#include "frmMain.h"

#include "ImageList1.h"
#include "PropertiesCommands.h"
#include "UserReportsDialog.h"
#include "WorkbookCommands.h"
#include "datasources/frmDSN.h"
#include "macros/frmMacros.h"
#include "repository/RepositorySession.h"
#include "security/Security.h"
#include "shell/AppState.h"
#include "shell/ItemData.h"
#include "shell/frmOptions.h"
#include "transfer/export/ui/frmExport.h"
#include "transfer/import/ui/frmImport.h"

#include <QLineEdit>

void frmMain::mnuViewProp_Click() { PropertiesCommands::Properties(this, twRep, lstRep, m_focusView); }
void frmMain::mnuRepProp_Click() { PropertiesCommands::mnuRepProp_Click(this, lstRep); }
void frmMain::mnuCatProp_Click() { PropertiesCommands::mnuCatProp_Click(this, lstRep); }
void frmMain::mnuCateg2Prop_Click() { PropertiesCommands::mnuCateg2Prop_Click(this, twRep); }
void frmMain::mnuDelItemProp_Click() { PropertiesCommands::ListItemProperties(this, lstRep); }

void frmMain::mnuRights_Click() { ShowUserRights(this); }
void frmMain::mnuWorkingFiles_Click()
{
    if (ShowWorkingFiles(this))
        RefreshMe();
}
void frmMain::mnuUserRep_Click()
{
    int user = 0;
    try {
        user = App::session().CurrentUserId();
    } catch (...) {
        // The dialog reports a connection failure itself.
    }
    UserReportsDialog::Show(0, 0, user, this);
}

void frmMain::mnuOptions_Click() { ShowOptions(this); }
void frmMain::mnuDSN_Click() { ShowDataSources(this); }
void frmMain::mnuMacro_Click()
{
    // Each macro editor is a window of its own, beside the main window.
    auto *editor = new frmMacros;
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->LoadMe(0);
}

void frmMain::mnuOpNewRep_Click()
{
    if (const int id = selectedReportId())
        WorkbookCommands::CreateNewReport(id);
}
void frmMain::mnuOpExRep_Click()
{
    if (const int id = selectedReportId())
        WorkbookCommands::CreateReportInExistingWorkbook(id);
}
void frmMain::mnuProcessRep_Click()
{
    if (const int id = selectedReportId())
        WorkbookCommands::ProcessReport(id);
}
void frmMain::mnuImportDocs_Click()
{
    WorkbookCommands::setImageProvider([](int index) { return ImageList1::icon(index); });
    WorkbookCommands::ImportDocument(lstRep, selectedNode() ? ItemData::idOfKey(selectedNodeKey()) : 0);
}
void frmMain::OpenReportOnEnter(int reportId) { WorkbookCommands::openReportOnEnter(reportId); }
void frmMain::OpenReportByMode(int reportId) { WorkbookCommands::OpenReportByMode(this, reportId); }

void frmMain::mnuImport_Click()
{
    // The node's own path: after a right click the path box may still show the node listed before.
    if (selectedNode() && selectedNodeKey().startsWith(QLatin1Char('c')))
        ShowImportDialog(ItemData::idOfKey(selectedNodeKey()), fullPath(selectedNode()), this);
}
void frmMain::mnuExport_Click() { ShowExportDialog(this); }
