#include "frmOptions.h"

#include "AppState.h"
#include "ErrorBox.h"
#include "Settings.h"
#include "repository/RepositorySession.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

frmOptions::frmOptions(QWidget *mainWindow) : QDialog(mainWindow), m_main(mainWindow)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    Label1 = new QLabel(QStringLiteral("On DblClick() report open :"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    optExistingReport = new QRadioButton(QStringLiteral("Existing report"), this);
    optExistingReport->setObjectName(QStringLiteral("optExistingReport"));
    optNewREport = new QRadioButton(QStringLiteral("New report"), this);
    optNewREport->setObjectName(QStringLiteral("optNewREport"));
    Label2 = new QLabel(QStringLiteral("File server"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    txtFileDir = new QLineEdit(this);
    txtFileDir->setObjectName(QStringLiteral("txtFileDir"));
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto *grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(optExistingReport, 1, 0);
    grid->addWidget(optNewREport, 1, 1);
    grid->addWidget(Label2, 2, 0, 1, 2);
    grid->addWidget(txtFileDir, 3, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 4, 0, 1, 2);
    setMinimumWidth(380);

    // It opens on what is in force, so OK without a change changes nothing.
    optExistingReport->setChecked(App::OpenInExistingWorkbook);
    optNewREport->setChecked(!App::OpenInExistingWorkbook);
    if (App::CurrentCompanyId > 0)
        txtFileDir->setText(App::session().GetFileServer(App::CurrentCompanyId));

    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
}

void SetOpenMode(QWidget *mainWindow, bool intoExisting)
{
    App::OpenInExistingWorkbook = intoExisting;
    if (!mainWindow)
        return;
    if (auto *existing = mainWindow->findChild<QAction *>(QStringLiteral("mnuOpExRep"))) {
        existing->setCheckable(true);
        existing->setChecked(intoExisting);
    }
    if (auto *fresh = mainWindow->findChild<QAction *>(QStringLiteral("mnuOpNewRep"))) {
        fresh->setCheckable(true);
        fresh->setChecked(!intoExisting);
    }
}

void frmOptions::cmdOK_Click()
{
    RunCommand(QStringLiteral("cmdOK_Click()"), [this] {
        const bool intoExisting = optExistingReport->isChecked();
        if (intoExisting || optNewREport->isChecked()) {
            SetOpenMode(m_main, intoExisting);
            SaveSetting(QStringLiteral("DB"), QStringLiteral("ExistingReport"),
                        intoExisting ? QStringLiteral("1") : QStringLiteral("0"));
        }
        App::session().SetFileServer(App::CurrentCompanyId, 3, QString(), QString(), txtFileDir->text());
        accept();
    });
}

void frmOptions::cmdCancel_Click() { reject(); }

void ShowOptions(QWidget *mainWindow)
{
    try {
        frmOptions dialog(mainWindow);
        dialog.exec();
    } catch (...) {
        // Nothing to report: the options are simply not changed.
    }
}

void ApplyStoredOpenMode(QWidget *mainWindow)
{
    const int stored = GetSetting(QStringLiteral("DB"), QStringLiteral("ExistingReport"), QStringLiteral("0")).toInt();
    SetOpenMode(mainWindow, stored == 1);
}
