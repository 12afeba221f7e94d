#include "Security.h"

#include "frmDrepturi.h"
#include "frmReports.h"
#include "shell/ErrorBox.h"

void ShowUserRights(QWidget *parent)
{
    RunCommand(QStringLiteral("mnuRights_Click()"), [parent] {
        frmDrepturi window(parent);
        window.exec();
    });
}

bool ShowWorkingFiles(QWidget *parent)
{
    bool saved = false;
    RunCommand(QStringLiteral("mnuWorkingFiles_Click()"), [&] {
        frmReports window(parent);
        window.ViewFor = 1;
        window.LoadMe(0);
        saved = !window.Cancel;
    });
    return saved;
}
