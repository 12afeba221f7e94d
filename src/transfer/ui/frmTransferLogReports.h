#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

// The reports one transfer run carried, as the history recorded them.
class frmTransferLogReports : public QDialog {
    Q_OBJECT
public:
    explicit frmTransferLogReports(QWidget *parent = nullptr);

    QLabel *lblRun;
    QTreeWidget *lstRep;
    QPushButton *cmdClose;

    // Fills the window with the run's lines; false (after the error box) when they cannot be read.
    bool Load(int idTransfer);

public Q_SLOTS:
    void cmdClose_Click();
};
