#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QString>

class QPushButton;
class QTreeWidget;

// Pairs of a package report (IdReport) and the synchronisation code of the destination report
// it overwrites, in list order.
using SyncPairs = QList<QPair<int, QString>>;

// Lists the package's reports beside the destination's reports of the same code and lets the
// user tick the pairs the next import overwrites. Writes nothing.
class frmSyncronize : public QDialog {
    Q_OBJECT
public:
    explicit frmSyncronize(QWidget *parent = nullptr);

    // Fills the list and shows the dialog modal. Returns false when the list could not be read
    // (the error box was shown and the dialog was not).
    bool LoadMe(const QSqlDatabase &conn, const QSqlDatabase &connMDB, const SyncPairs &cSyncRep);

    // The pairs after the dialog closed: the new choice after OK, the one passed in otherwise.
    SyncPairs colSyncRep;

    QTreeWidget *lstRep;
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
