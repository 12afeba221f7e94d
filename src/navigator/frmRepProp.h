#pragma once

#include "repository/Items.h"

#include <QDialog>

class DocProp;
class QPushButton;

// Report properties: hosts the document-properties control and shows the check-out state.
class frmRepProp : public QDialog {
    Q_OBJECT
public:
    explicit frmRepProp(QWidget *parent = nullptr);

    int IdReport = 0;
    bool WasSave = false;
    ReportItem zatReport;

    DocProp *DocProp1;
    QPushButton *cmdSave;
    QPushButton *cmdCheckIn;
    QPushButton *cmdCheckOut;
    QPushButton *cmdClose;

    // Fills the window for the report and shows it modally.
    void LoadMe(int reportId, const QString &reportName, const QString &checkOutText);
    // The filling part of LoadMe, without showing; reports its own failures.
    void GetParameters(int reportId, const QString &reportName, const QString &checkOutText);

public Q_SLOTS:
    void cmdSave_Click();
    void cmdClose_Click();

    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void Form_Resize();
};
