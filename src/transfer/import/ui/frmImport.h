#pragma once

#include "frmSyncronize.h"
#include "transfer/TransferProgress.h"
#include "transfer/import/ImportOptions.h"

#include <QDialog>
#include <QHash>
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

// Tools > Import reports: shows the import dialog modally with the navigator's selected category
// as destination (destinationText is the navigator's path of that category). parent defaults to
// the main window.
void ShowImportDialog(int idCategDest, const QString &destinationText, QWidget *parent = nullptr);

// Brings reports, and what they depend on, from a package file into the connected repository.
class frmImport : public QDialog, public TransferProgress {
    Q_OBJECT
public:
    explicit frmImport(QWidget *parent = nullptr);

    // Picture numbers of the tree; a report node is ticked when its picture is 17.
    enum Picture { PicCategory = 12, PicCategoryOpen = 13, PicRecycleBin = 14, PicRoot = 15, PicReport = 16, PicReportTicked = 17 };
    static int picture(const QTreeWidgetItem *item);
    static void setPicture(QTreeWidgetItem *item, int picture);

    int IdCategDest = 0;
    // Selections of the dialog, kept across runs until it closes (package ids).
    QList<int> colDSN;
    QList<int> colSelMacros;
    SyncPairs colSyncRep;

    // Reads the tree from the package named in txtPath.
    void LoadCateg();
    void LoadReports(const class PackageTree &tree);

    QLineEdit *txtPath;
    QPushButton *cmdBrowse;
    QLineEdit *txtDestination;
    QTreeWidget *twRep;
    QRadioButton *optDSNDep;
    QRadioButton *optDSNSel;
    QPushButton *cmdDSN;
    QRadioButton *optDepMacros;
    QRadioButton *optSelMacros;
    QPushButton *cmdMacros;
    QCheckBox *chkRoles;
    QCheckBox *chkUsers;
    QCheckBox *chkCategories;
    QPushButton *cmdCheckAll;
    QPushButton *cmdClearAll;
    QPushButton *cmdSyncronize;
    QPushButton *cmdPreview;
    QPushButton *cmdExport;
    QPushButton *cmdClose;
    QProgressBar *ProgressBar1;
    QStatusBar *StatusBar1;
    QLabel *panel1;
    QLabel *panel2;

    // TransferProgress: status bar panel 1 and the progress bar.
    void status(const QString &text) override;
    void progress(int value, int maximum) override;
    void yield() override;

public Q_SLOTS:
    void cmdBrowse_Click();
    void cmdCheckAll_Click();
    void cmdClearAll_Click();
    void twRep_DblClick(QTreeWidgetItem *item);
    void cmdDSN_Click();
    void cmdMacros_Click();
    void cmdSyncronize_Click();
    void cmdPreview_Click();
    void cmdExport_Click();
    void cmdClose_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void done(int result) override;

private:
    void setBusy(bool busy);
    // The choices of the window as the engine takes them.
    ImportOptions currentOptions() const;
    void runImport(ImportOptions options);
    bool m_busy = false;
    QHash<int, QTreeWidgetItem *> m_categoryNodes; // of the last LoadCateg
};
