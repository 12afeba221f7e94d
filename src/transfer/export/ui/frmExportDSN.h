#pragma once

#include <QDialog>
#include <QList>
#include <QSqlDatabase>

class QPushButton;
class QTreeWidget;

// Data-source picker, on any connection with the repository layout (repository or package).
class frmExportDSN : public QDialog {
    Q_OBJECT
public:
    explicit frmExportDSN(QWidget *parent = nullptr);

    // Lists the data sources of conn, ticks those in cDSN and shows the picker modally. "OK"
    // replaces colDSN by the ticked ids in list order; "&Cancel" leaves it as given.
    void LoadDSN(const QList<int> &cDSN, const QSqlDatabase &conn);
    QList<int> colDSN;

    QTreeWidget *lstDSN;
    QPushButton *cmdCheckAll;
    QPushButton *cmdClearAll;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

public Q_SLOTS:
    void cmdCheckAll_Click();
    void cmdClearAll_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
};
