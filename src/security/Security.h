#pragma once

class QWidget;

// Entry points of the security windows for the main window's menus.

// Tools > "&User rights" and the report menu's "&User rights": the security window, modal.
void ShowUserRights(QWidget *parent);
// "Working Files": the working-files view of frmReports. True when the user saved, so the
// caller reloads its tree and list.
bool ShowWorkingFiles(QWidget *parent);
