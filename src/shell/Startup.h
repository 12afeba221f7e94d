#pragma once

#include <QPair>
#include <QString>

class QApplication;
class RepositorySession;
class frmMain;

// The program's entry procedure: connect, splash, status bar, company, report engine, main window.
// Returns the application's exit code.
int Main(QApplication &app);

// Status-bar panels 2 (where the repository lives) and 3 (the logged-in user).
QPair<QString, QString> StatusPanels(const RepositorySession &session);
// A chosen new-database name with ".mdb" appended unless it already ends so, in any letter case.
QString WithMdbExtension(const QString &path);
// The help file beside the program.
QString HelpFilePath();

// File > New > Database: an empty file repository, and the program switched to it. A failure is
// reported and leaves the program on the repository it had open.
void NewDatabaseCommand(frmMain *main);
// File > New > Sample database: a new file repository holding the sample set, the program
// switched to it with the samples' category shown. Failures are reported.
void NewSampleDatabaseCommand(frmMain *main);
// File > Open DB: the connect dialog again; on success the main window reloads.
void OpenDatabaseCommand(frmMain *main);
// Help > About: the splash shown modally.
void AboutCommand();
// File > Exit: every other window closes, then the main window.
void ExitCommand(frmMain *main);
