// Entries of the main window whose commands live in other parts of the console. Each is wired
// to its menu entry, toolbar button or key already; an empty body is a command still to come.
#include "frmMain.h"

#include "PropertiesCommands.h"
#include "security/Security.h"

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

void frmMain::mnuOptions_Click() {}
void frmMain::mnuDSN_Click() {}
void frmMain::mnuMacro_Click() {}
void frmMain::mnuUserRep_Click() {}
void frmMain::mnuImport_Click() {}
void frmMain::mnuExport_Click() {}
void frmMain::mnuOpNewRep_Click() {}
void frmMain::mnuOpExRep_Click() {}
void frmMain::mnuProcessRep_Click() {}
void frmMain::mnuImportDocs_Click() {}
void frmMain::OpenReportOnEnter(int reportId) { Q_UNUSED(reportId); }
