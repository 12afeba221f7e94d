// Entries of the main window whose commands live in other parts of the console. Each is wired
// to its menu entry, toolbar button or key already; the body calls the owning window.
#include "frmMain.h"

void frmMain::mnuOptions_Click() {}
void frmMain::mnuWorkingFiles_Click() {}
void frmMain::mnuViewProp_Click() {}
void frmMain::mnuDSN_Click() {}
void frmMain::mnuMacro_Click() {}
void frmMain::mnuRights_Click() {}
void frmMain::mnuUserRep_Click() {}
void frmMain::mnuImport_Click() {}
void frmMain::mnuExport_Click() {}
void frmMain::mnuOpNewRep_Click() {}
void frmMain::mnuOpExRep_Click() {}
void frmMain::mnuProcessRep_Click() {}
void frmMain::mnuImportDocs_Click() {}
void frmMain::mnuRepProp_Click() {}
void frmMain::mnuCatProp_Click() {}
void frmMain::mnuCateg2Prop_Click() {}
void frmMain::mnuDelItemProp_Click() {}
void frmMain::OpenReportOnEnter(int reportId) { Q_UNUSED(reportId); }
