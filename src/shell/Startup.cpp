#include "Startup.h"

#include "AppState.h"
#include "ConnectDialog.h"
#include "ErrorBox.h"
#include "Prompter.h"
#include "ReplaceQuestion.h"
#include "Settings.h"
#include "frmOpen.h"
#include "frmSplash.h"
#include "navigator/frmMain.h"
#include "reportengine/ReportEngine.h"
#include "repository/FileReplacement.h"
#include "repository/PackageFile.h"
#include "repository/RepositorySession.h"
#include "samples/SampleSet.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

QPair<QString, QString> StatusPanels(const RepositorySession &session)
{
    if (session.DatabaseKind() == RepositorySession::FileDatabase)
        return {session.DatabasePath(), QString()};
    return {QStringLiteral("\\\\") + session.ServerName() + QStringLiteral("\\") + session.DatabaseName(),
            session.UserName()};
}

QString WithMdbExtension(const QString &path) { return PackageFile::withMdbExtension(path); }

QString HelpFilePath() { return QCoreApplication::applicationDirPath() + QStringLiteral("\\zat.chm"); }

int Main(QApplication &app)
{
    try {
        if (!ConnectDialog::Show(App::session()))
            return 0;
        QCoreApplication::processEvents();
        auto *splash = new frmSplash;
        splash->show();
        QCoreApplication::processEvents();

        frmMain *main = frmMain::instance(); // its first load runs here, errors reported by itself
        const auto panels = StatusPanels(App::session());
        main->setPanelText(2, panels.first);
        main->setPanelText(3, panels.second);
        app.setProperty("helpFile", HelpFilePath());

        splash->close();
        delete splash;

        {
            frmOpen open;
            open.exec();
        }
        if (App::CurrentCompanyId < 1)
            return 0;
        App::reportEngine().Init(App::session().Connection(), App::CurrentCompanyId);
        main->show();
    } catch (const AppError &e) {
        ShowError(e, QStringLiteral("Main()"));
        if (QApplication::topLevelWidgets().isEmpty() || !frmMain::exists() || !frmMain::instance()->isVisible())
            return 1;
    }
    return app.exec();
}

static const char NewDatabaseTitle[] = "Enter DB name and DB path ...";

// Where a new file repository goes; empty when cancelled or when the file there may not be replaced.
static QString askNewDatabasePath()
{
    const QString title = QString::fromLatin1(NewDatabaseTitle);
    const QString chosen = prompter().saveFile(title, QStringLiteral("Microsoft Access Database (*.mdb)|*.mdb"),
                                               QStringLiteral("*.mdb"), QString(), false);
    if (chosen.isEmpty())
        return QString();
    const QString path = WithMdbExtension(chosen);
    // A repository or any file of another kind is never wiped; a package only when confirmed.
    return MayReplaceWithNewFile(path, title) ? path : QString();
}

// The program works on the new file repository at path from now on; the tree shows nodeKey.
// Opening it comes first, so a failure leaves the console on the repository it had.
static void switchToNewDatabase(frmMain *main, const QString &path, const QString &nodeKey)
{
    RepositorySession &session = App::session();
    const QString previousPassword = session.DatabasePassword();
    session.setDatabasePassword(QStringLiteral("quindale"));
    try {
        session.OpenFile(path);
    } catch (...) {
        session.setDatabasePassword(previousPassword);
        throw;
    }
    SaveSetting(QStringLiteral("DB"), QStringLiteral("DBPath"), path);
    SaveSetting(QStringLiteral("DB"), QStringLiteral("TipDB"), QStringLiteral("1"));
    ConnectDialog::RememberFileRepository(path);
    main->setPanelText(2, path);
    // A file database has no login: a server's user name must not stay on show.
    main->setPanelText(3, QString());
    main->ClearViews();
    main->LoadCateg(nodeKey);
}

void NewDatabaseCommand(frmMain *main)
{
    RunCommand(QStringLiteral("mnuNewDB_Click()"), [main] {
        const QString path = askNewDatabasePath();
        if (path.isEmpty())
            return; // cancelled or refused: nothing more to say
        {
            FileReplacement file(path);
            App::session().CreateDatabase(file.temporaryPath());
            file.commit();
        }
        switchToNewDatabase(main, path, QStringLiteral("c1"));
    });
}

void NewSampleDatabaseCommand(frmMain *main)
{
    // Unlike an empty database, the samples can fail for reasons the user must hear of (the
    // sales data cannot be written beside the file), so failures are reported.
    RunCommand(QStringLiteral("mnuNewSampleDB_Click()"), [main] {
        const QString path = askNewDatabasePath();
        if (path.isEmpty())
            return;
        SampleSet::Created created;
        {
            BusyCursor busy;
            created = SampleSet::CreateRepository(path);
        }
        switchToNewDatabase(main, path, QStringLiteral("c%1").arg(created.category));
    });
}

void OpenDatabaseCommand(frmMain *main)
{
    RunCommand(QStringLiteral("mnuOpen45_Click()"), [main] {
        if (ConnectDialog::Show(App::session(), main))
            main->RefreshMe();
    });
}

void AboutCommand()
{
    frmSplash splash;
    splash.exec();
}

void ExitCommand(frmMain *main)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w != main && w->isVisible())
            w->close();
    }
    main->close();
    QCoreApplication::quit();
}
