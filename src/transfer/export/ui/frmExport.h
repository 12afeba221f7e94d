#pragma once

#include "transfer/TransferProgress.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

// Export Reports to a package file: the report tree with selection marks, the options, and the
// run with its progress in the status bar and progress bar.
class frmExport : public QDialog, private TransferProgress {
    Q_OBJECT
public:
    explicit frmExport(QWidget *parent = nullptr);

    // Selection marks of report nodes (the only record of what is selected).
    static constexpr int MarkSelected = 15;
    static constexpr int MarkNotSelected = 17;
    static int mark(const QTreeWidgetItem *item);
    void setMark(QTreeWidgetItem *item, int mark);

    QString panelText(int panel) const;

    // Selections owned by the dialog: macro ids and data-source ids, each once.
    QList<int> colSelMacros;
    QList<int> colDSN;

    QLineEdit *txtPath;
    QPushButton *cmdBrowse;
    QRadioButton *optDepMacros;
    QRadioButton *optSelMacros;
    QPushButton *cmdMacros;
    QRadioButton *optDSNSel;
    QRadioButton *optDSNDep;
    QPushButton *cmdDSN;
    QCheckBox *chkUsers;
    QCheckBox *chkRoles;
    QCheckBox *chkCategories;
    QTreeWidget *twRep;
    QPushButton *cmdCheckAll;
    QPushButton *cmdClearAll;
    QPushButton *cmdExport;
    QPushButton *cmdClose;
    QProgressBar *ProgressBar1;
    QStatusBar *StatusBar1;

public Q_SLOTS:
    void cmdBrowse_Click();
    void cmdMacros_Click();
    void cmdDSN_Click();
    void cmdCheckAll_Click();
    void cmdClearAll_Click();
    void cmdExport_Click();
    void cmdClose_Click();
    void twRep_DblClick();

protected:
    // The window cannot be closed while a run is writing the package.
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void Form_Load();
    void LoadCateg();
    void LoadReports();
    void setBusy(bool busy);

    void status(const QString &text) override;
    void progress(int value, int maximum) override;
    void yield() override;

    bool m_busy = false;
    QList<QLabel *> m_panels;
    QList<QTreeWidgetItem *> m_nodes; // in the order they were added: the order the run walks
};

// Tools > Export reports: shows the dialog modally on the console's repository.
void ShowExportDialog(QWidget *parent = nullptr);
