#include "WorkbookCommands.h"

#include "frmReportParameter.h"
#include "reportengine/ReportEngine.h"
#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/Prompter.h"

#include <QAction>
#include <QIcon>
#include <QTreeWidget>

namespace WorkbookCommands {

static std::function<QIcon(int)> &imageProvider()
{
    static std::function<QIcon(int)> provider;
    return provider;
}

void setImageProvider(std::function<QIcon(int)> provider) { imageProvider() = std::move(provider); }

ReportEngine &ConsoleEngine()
{
    static ConsoleReportPrompter consolePrompter;
    ReportEngine &engine = App::reportEngine();
    // Every command follows the session: the repository may have been reopened since the last one.
    engine.Init(App::session().Connection(), App::CurrentCompanyId);
    if (!engine.parameterPrompter())
        engine.setParameterPrompter(&consolePrompter);
    return engine;
}

void createNewReport(int reportId)
{
    BusyCursor busy;
    ConsoleEngine().OpenReport(reportId, true);
}

void createReportInExistingWorkbook(int reportId)
{
    BusyCursor busy;
    const ReportItem report = App::session().GetReport(reportId);
    ConsoleEngine().Generate(report.IdReport, true, true, true, 0);
}

void OpenReportByMode(QWidget *mainWindow, int reportId)
{
    RunCommand(QStringLiteral("modMain.lstRep_DblClick()"), [&] {
        if (reportId <= 0)
            return;
        QAction *existing = mainWindow ? mainWindow->findChild<QAction *>(QStringLiteral("mnuOpExRep")) : nullptr;
        QAction *fresh = mainWindow ? mainWindow->findChild<QAction *>(QStringLiteral("mnuOpNewRep")) : nullptr;
        const bool intoExisting = existing ? existing->isChecked() : App::OpenInExistingWorkbook;
        const bool asNew = fresh ? fresh->isChecked() : !App::OpenInExistingWorkbook;
        if (intoExisting)
            createReportInExistingWorkbook(reportId);
        else if (asNew)
            createNewReport(reportId);
    });
}

void openReportOnEnter(int reportId)
{
    BusyCursor busy;
    const ReportItem report = App::session().GetReport(reportId);
    if (!App::OpenInExistingWorkbook)
        ConsoleEngine().Generate(report.IdReport, true, false, true, 0);
    else
        ConsoleEngine().OpenInExisting(report.IdReport);
}

void OpenReportOnEnter(int reportId)
{
    RunCommand(QStringLiteral("modMain.lstRep_KeyDown()"), [&] { openReportOnEnter(reportId); });
}

void CreateNewReport(int reportId)
{
    RunCommand(QStringLiteral("modMain.mnuOpNewRep_Click()"), [&] { createNewReport(reportId); });
}

void CreateReportInExistingWorkbook(int reportId)
{
    RunCommand(QStringLiteral("modMain.mnuOpExRep_Click()"), [&] { createReportInExistingWorkbook(reportId); });
}

void ProcessReport(int reportId)
{
    RunCommand(QStringLiteral("modMain.mnuProcessRep_Click()"), [&] {
        bool done = false;
        {
            BusyCursor busy;
            const ReportItem report = App::session().GetReport(reportId);
            done = ConsoleEngine().Generate(report.IdReport, false, false, true, 0);
        }
        if (done)
            prompter().message(QStringLiteral("The report was succesfully processed!"), QStringLiteral("Information"),
                               Prompter::Icon::Information);
    });
}

int ImportDocument(QTreeWidget *lstRep, int categoryId)
{
    int newId = 0;
    RunCommand(QStringLiteral("mnuImportDocs_Click()"), [&] {
        if (categoryId <= 0) {
            prompter().message(QStringLiteral("Select parent folder!"), AppTitle, Prompter::Icon::Exclamation);
            return;
        }
        const QString path = prompter().openFile(QStringLiteral("Import document"),
                                                 QStringLiteral("Text files (*.txt)|*.txt|All files (*.*)|*.*"));
        if (path.isEmpty())
            return;
        ReportEngine &engine = ConsoleEngine();
        const int id = engine.ImportDocument(categoryId, 0, 0, path, App::session().Connection());
        if (id <= 0)
            return;
        newId = id;
        const ReportItem report = App::session().GetReport(id);
        if (!lstRep)
            return;
        lstRep->clearSelection();
        auto *row = new QTreeWidgetItem(lstRep);
        ItemData::setKey(row, QStringLiteral("r%1").arg(id));
        row->setText(0, report.Name);
        if (imageProvider())
            row->setIcon(0, imageProvider()(report.IdExtension));
        row->setText(2, QStringLiteral("Exchange"));
        row->setText(3, ItemData::dateText(report.Modified));
        lstRep->setFocus();
        lstRep->setCurrentItem(row);
        row->setSelected(true);
    });
    return newId;
}

} // namespace WorkbookCommands
