#include "frmMain.h"

#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/Settings.h"
#include "shell/Startup.h"
#include "repository/RepositorySession.h"

#include <QCloseEvent>
#include <QDate>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTime>
#include <QTimer>

static frmMain *theMain = nullptr;

frmMain *frmMain::instance()
{
    if (!theMain) {
        theMain = new frmMain;
        theMain->Form_Load();
    }
    return theMain;
}

bool frmMain::exists() { return theMain != nullptr; }

void frmMain::destroyInstance()
{
    delete theMain;
    theMain = nullptr;
}

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("  Document Management System"));
    resize(900, 600);

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    QMenu *newMenu = file->addMenu(QStringLiteral("&New"));
    mnuNewDB = newMenu->addAction(QStringLiteral("&Database"));
    mnuNewDB->setObjectName(QStringLiteral("mnuNewDB"));
    mnuOpen45 = file->addAction(QStringLiteral("O&pen DB"));
    mnuOpen45->setObjectName(QStringLiteral("mnuOpen45"));
    file->addSeparator();
    mnuExit = file->addAction(QStringLiteral("&Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuAboutUs = help->addAction(QStringLiteral("&About Velmora"));
    mnuAboutUs->setObjectName(QStringLiteral("mnuAboutUs"));
    connect(mnuNewDB, &QAction::triggered, this, &frmMain::mnuNewDB_Click);
    connect(mnuOpen45, &QAction::triggered, this, &frmMain::mnuOpen45_Click);
    connect(mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect(mnuAboutUs, &QAction::triggered, this, &frmMain::mnuAboutUs_Click);

    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    for (int i = 1; i <= 5; ++i) {
        auto *panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setMinimumWidth(i <= 2 ? 160 : 80);
        bar->addPermanentWidget(panel, i == 2 ? 1 : 0);
        m_panels << panel;
    }
    auto *clock = new QTimer(this);
    auto tick = [this] {
        m_panels[3]->setText(QTime::currentTime().toString(QStringLiteral("HH:mm")));
        m_panels[4]->setText(QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    };
    connect(clock, &QTimer::timeout, this, tick);
    clock->start(1000);
    tick();
}

void frmMain::Form_Load()
{
    const int mode = GetSetting(QStringLiteral("DB"), QStringLiteral("ExistingReport"), QStringLiteral("0")).toInt();
    App::OpenInExistingWorkbook = mode == 1;
    RunCommand(QStringLiteral("modMain.Form_Load()"), [this] { LoadCateg(QStringLiteral("c1")); });
}

void frmMain::setPanelText(int panel, const QString &text)
{
    if (panel >= 1 && panel <= m_panels.size())
        m_panels[panel - 1]->setText(text);
}

QString frmMain::panelText(int panel) const
{
    return panel >= 1 && panel <= m_panels.size() ? m_panels[panel - 1]->text() : QString();
}

void frmMain::LoadCateg(const QString &nodeKey) { Q_UNUSED(nodeKey); }

void frmMain::RefreshMe()
{
    const auto panels = StatusPanels(App::session());
    setPanelText(2, panels.first);
    setPanelText(3, panels.second);
    LoadCateg(QStringLiteral("c1"));
}

void frmMain::ClearViews() {}

void frmMain::closeEvent(QCloseEvent *event)
{
    try {
        SaveWindowPlacement(this);
    } catch (...) {
    }
    event->accept();
}

void frmMain::mnuNewDB_Click() { NewDatabaseCommand(this); }
void frmMain::mnuOpen45_Click() { OpenDatabaseCommand(this); }
void frmMain::mnuExit_Click() { ExitCommand(this); }
void frmMain::mnuAboutUs_Click() { AboutCommand(); }
