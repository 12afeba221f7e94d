#include "frmRepProp.h"

#include "DocProp.h"
#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/Settings.h"

#include <QPushButton>
#include <QResizeEvent>

frmRepProp::frmRepProp(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRepProp"));
    setWindowTitle(QStringLiteral("Properties"));
    DocProp1 = new DocProp(this);
    DocProp1->setObjectName(QStringLiteral("DocProp1"));
    cmdSave = new QPushButton(QStringLiteral("&Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdCheckIn = new QPushButton(QStringLiteral("Check &In"), this);
    cmdCheckIn->setObjectName(QStringLiteral("cmdCheckIn"));
    cmdCheckOut = new QPushButton(QStringLiteral("Check &Out"), this);
    cmdCheckOut->setObjectName(QStringLiteral("cmdCheckOut"));
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton *b : {cmdSave, cmdCheckIn, cmdCheckOut, cmdClose}) {
        b->setAutoDefault(false);
        b->resize(TwipsToPixels(1215), TwipsToPixels(375));
    }
    // The check buttons only show the state; Check In and Check Out act from the main window.
    cmdCheckIn->move(TwipsToPixels(75), 0);
    cmdCheckOut->move(TwipsToPixels(75 + 1215 + 100), 0);
    setMinimumSize(TwipsToPixels(7000), TwipsToPixels(5000));
    resize(TwipsToPixels(9600), TwipsToPixels(8400));
    connect(cmdSave, &QPushButton::clicked, this, &frmRepProp::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmRepProp::cmdClose_Click);
    Form_Resize();
}

void frmRepProp::GetParameters(int reportId, const QString &reportName, const QString &checkOutText)
{
    RunCommand(QStringLiteral("GetParameters()"), [&] {
        IdReport = reportId;
        WasSave = false;
        setWindowTitle(QStringLiteral("Properties [") + reportName + QStringLiteral("]"));
        if (App::session().IsCheckedOutByOther(IdReport)) {
            cmdSave->setEnabled(false);
            cmdCheckIn->setEnabled(false);
            cmdCheckOut->setEnabled(false);
        } else if (!checkOutText.isEmpty()) {
            cmdCheckIn->setEnabled(true);
            cmdCheckOut->setEnabled(false);
        } else {
            cmdCheckIn->setEnabled(false);
            cmdCheckOut->setEnabled(true);
        }
        DocProp1->SetCompany(App::CurrentCompanyId);
        DocProp1->LoadReport(IdReport, reportName, checkOutText);
    });
}

void frmRepProp::LoadMe(int reportId, const QString &reportName, const QString &checkOutText)
{
    GetParameters(reportId, reportName, checkOutText);
    exec();
}

void frmRepProp::cmdSave_Click()
{
    RunCommand(QStringLiteral("cmdSave_Click()"), [this] {
        DocProp1->Save();
        zatReport = DocProp1->SavedReport();
        WasSave = DocProp1->WasSaved();
        // A save the control refused (a missing or taken name) keeps the window and the edits.
        if (WasSave)
            close();
    });
}

void frmRepProp::cmdClose_Click() { close(); }

void frmRepProp::done(int result)
{
    SaveWindowPlacement(this);
    QDialog::done(result);
}

void frmRepProp::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frmRepProp::Form_Resize()
{
    // Measures in twips, as the window's layout was drawn.
    const int w = PixelsToTwips(width());
    const int h = PixelsToTwips(height());
    const int closeW = PixelsToTwips(cmdClose->width());
    const int closeH = PixelsToTwips(cmdClose->height());
    const int docTop = 100;
    const int docH = qMax(0, h - 100 - closeH - 550);
    DocProp1->setGeometry(TwipsToPixels(75), TwipsToPixels(docTop), TwipsToPixels(qMax(0, w - 250)), TwipsToPixels(docH));
    const int closeLeft = w - closeW - 200;
    const int closeTop = docTop + docH + 100;
    cmdClose->move(TwipsToPixels(closeLeft), TwipsToPixels(closeTop));
    cmdSave->move(TwipsToPixels(closeLeft - PixelsToTwips(cmdSave->width()) - 100), TwipsToPixels(closeTop));
    cmdCheckOut->move(cmdCheckOut->x(), TwipsToPixels(closeTop));
    cmdCheckIn->move(cmdCheckIn->x(), TwipsToPixels(closeTop));
}
