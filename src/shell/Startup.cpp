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

void NewDatabaseCommand(frmMain *main)
{
    const QString title = QStringLiteral("Enter DB name and DB path ...");
    const QString chosen = prompter().saveFile(title, QStringLiteral("Microsoft Access Database (*.mdb)|*.mdb"),
                                               QStringLiteral("*.mdb"), QString(), false);
    if (chosen.isEmpty())
        return; // cancelled: nothing to say
    // The new file is made before the session leaves the repository open now, so a failure
    // leaves the console where it was and says why.
    RunCommand(QStringLiteral("mnuNewDB_Click()"), [&] {
        RepositorySession &session = App::session();
        const QString path = WithMdbExtension(chosen);
        // A repository or any file of another kind is never wiped; a package only when confirmed.
        if (!MayReplaceWithNewFile(path, title))
            return;
        {
            FileReplacement file(path);
            session.CreateDatabase(file.temporaryPath());
            file.commit();
        }
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
        main->LoadCateg(QStringLiteral("c1"));
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
