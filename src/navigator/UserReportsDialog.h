#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;
class QTreeWidget;

// Tools > "User &reports": for a chosen application user (the given one preselected), the reports
// that user may run through the roles they hold. Read-only.
class UserReportsDialog : public QDialog {
    Q_OBJECT
public:
    // The first two arguments are kept for the callers' sake and not used.
    UserReportsDialog(int reserved1, int reserved2, int idUserApp, QWidget *parent = nullptr);

    // Shows the dialog modally; failures are reported with the origin "mnuUserRep_Click()".
    static void Show(int reserved1, int reserved2, int idUserApp, QWidget *parent = nullptr);

    QComboBox *cmbUser;
    QTreeWidget *lstReports;
    QPushButton *cmdClose;

public Q_SLOTS:
    void cmbUser_Click();

private:
    void LoadUsers(int idUserApp);
};
