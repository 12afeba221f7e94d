#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// Tools > "Transfer history": every export and import of the repository, newest first. Typing in
// the filter box narrows the list; a double click shows the reports of a run.
class frmTransferLog : public QDialog {
    Q_OBJECT
public:
    explicit frmTransferLog(QWidget *parent = nullptr);

    QLineEdit *txtFilter;
    QTreeWidget *lstLog; // one row per run, Tag = its id
    QPushButton *cmdClose;

    // Fills the list and shows the window modally.
    void LoadMe();
    // Reads the runs that match the filter box.
    void LoadList();

public Q_SLOTS:
    void txtFilter_Change();
    void lstLog_DblClick(QTreeWidgetItem *item);
    void cmdClose_Click();
};

void ShowTransferLog(QWidget *parent);
