#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// File > Options: what a double-click on a report does, and the current company's file server.
// The window opens with the mode in force and the current company's file server.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    // mainWindow holds the check marks that follow the choice (actions "mnuOpExRep", "mnuOpNewRep").
    explicit frmOptions(QWidget *mainWindow = nullptr);

    QLabel *Label1;
    QRadioButton *optExistingReport;
    QRadioButton *optNewREport;
    QLabel *Label2;
    QLineEdit *txtFileDir;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

public Q_SLOTS:
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    QWidget *m_main;
};

// File > "&Options": shows frmOptions modally; failures while showing it are ignored.
void ShowOptions(QWidget *mainWindow);

// Sets OpenInExistingWorkbook and the two check marks under mainWindow.
void SetOpenMode(QWidget *mainWindow, bool intoExisting);
// Main window load: the stored "ExistingReport" (default "0"); exactly 1 means existing workbook.
void ApplyStoredOpenMode(QWidget *mainWindow);
