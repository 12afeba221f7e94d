#include "ScriptedPrompter.h"
#include "TestDb.h"
#include "ToolRun.h"

#include "repository/AppError.h"
#include "repository/RepositoryArgument.h"
#include "repository/RepositorySession.h"
#include "shell/ConnectDialog.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

namespace {

// The login with password authentication that scripts/pg-start.sh gives the throwaway server.
const QString PwUser = QStringLiteral("velmora_pw");
const QString PwSecret = QStringLiteral("velmora-pw-secret");
const QString PwDatabase = QStringLiteral("velmora_pw");

struct Server {
    QString host;
    int port = 0;
};

Server server()
{
    const QUrl url(qEnvironmentVariable("VELMORA_TEST_PG"));
    const QUrlQuery q(url);
    return {q.queryItemValue("host", QUrl::FullyDecoded), q.queryItemValue("port").toInt()};
}

// The password login's URI, without a password.
QString bareUri()
{
    const Server s = server();
    return QStringLiteral("postgresql://%1@/%2?host=%3&port=%4").arg(PwUser, PwDatabase, s.host).arg(s.port);
}

// Sets (a null value: unsets) environment variables for one scope, in this process and the
// tools it starts.
class Env {
public:
    Env(std::initializer_list<std::pair<const char *, QString>> values)
    {
        for (const auto &[name, value] : values) {
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value.toUtf8());
        }
    }
    ~Env()
    {
        for (const auto &s : m_saved) {
            if (s.wasSet)
                qputenv(s.name, s.value);
            else
                qunsetenv(s.name);
        }
    }

private:
    struct Saved {
        const char *name;
        QByteArray value;
        bool wasSet;
    };
    QList<Saved> m_saved;
};

QString writeFile(const QString &name, const QByteArray &content)
{
    const QString path = QDir(TestDb::tempDir()).filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(content);
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner); // the client ignores looser files
    return path;
}

// Nothing else may supply the password while a test proves where it comes from.
Env noPasswordSources()
{
    const QString nowhere = QDir(TestDb::tempDir()).filePath("no-such-file");
    return Env{{"PGPASSWORD", QString()}, {"PGPASSFILE", nowhere}, {"PGSERVICEFILE", nowhere}, {"PGSERVICE", QString()}};
}

} // namespace

class TestCredentials : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestDb::postgresAvailable(), "VELMORA_TEST_PG is not set");
    }

    void passwordLoginWantsItsPassword()
    {
        const Env none = noPasswordSources();
        const Server s = server();
        RepositorySession session;
        try {
            session.OpenServer(s.host, s.port, PwDatabase, PwUser, QString());
            QFAIL("connected without a password");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains("password"), qPrintable(e.description));
        }
        try {
            session.OpenServer(s.host, s.port, PwDatabase, PwUser, QStringLiteral("wrong"));
            QFAIL("connected with a wrong password");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains("password authentication failed"), qPrintable(e.description));
            QVERIFY(!e.description.contains("wrong"));
        }
        session.OpenServer(s.host, s.port, PwDatabase, PwUser, PwSecret);
        QVERIFY(session.CurrentUserId() > 0);
    }

    void passwordFromPgpassword()
    {
        const Env none = noPasswordSources();
        const Env env{{"PGPASSWORD", PwSecret}};
        RepositorySession session;
        OpenRepositoryArgument(session, bareUri());
        QCOMPARE(session.UserName(), PwUser);
        QVERIFY(session.CurrentUserId() > 0);
        // A dropped connection is opened again the same way.
        session.ResetConnection();
        QVERIFY(session.Connection().isOpen());
        // The tools take it the same way, with the password nowhere in their arguments.
        QString out, err;
        const QString package = QDir(TestDb::tempDir()).filePath("pgpassword.mdb");
        QCOMPARE(RunTool("velmora-transfer", {"export", "--repository", bareUri(), "--package", package}, &out, &err), 0);
        QCOMPARE(out.trimmed(), package);
    }

    void passwordFromPgpassInHome()
    {
        const Env none = noPasswordSources();
        const QString home = QDir(TestDb::tempDir()).filePath("home");
        writeFile("home/.pgpass", QStringLiteral("*:*:%1:%2:%3\n").arg(PwDatabase, PwUser, PwSecret).toUtf8());
        const Env env{{"HOME", home}, {"PGPASSFILE", QString()}}; // the default place: ~/.pgpass
        QString out, err;
        const QString package = QDir(TestDb::tempDir()).filePath("pgpass.mdb");
        QCOMPARE(RunTool("velmora-transfer", {"export", "--repository", bareUri(), "--package", package}, &out, &err), 0);
        RepositorySession session;
        OpenRepositoryArgument(session, bareUri());
        QCOMPARE(session.UserName(), PwUser);
    }

    void everythingFromAService()
    {
        const Env none = noPasswordSources();
        const Server s = server();
        const QString file = writeFile("pg_service.conf", QStringLiteral("[velmora_test]\nhost=%1\nport=%2\nuser=%3\n"
                                                                         "dbname=%4\npassword=%5\n")
                                                              .arg(s.host).arg(s.port).arg(PwUser, PwDatabase, PwSecret)
                                                              .toUtf8());
        const Env env{{"PGSERVICEFILE", file}};
        RepositorySession session;
        OpenRepositoryArgument(session, QStringLiteral("postgresql://?service=velmora_test"));
        // What the service named is known by name afterwards: the administrator and the database.
        QCOMPARE(session.UserName(), PwUser);
        QCOMPARE(session.DatabaseName(), PwDatabase);
        QVERIFY(session.CurrentUserId() > 0);
        QString out, err;
        QCOMPARE(RunTool("velmora-transfer", {"export", "--repository", "postgresql://?service=velmora_test", "--package",
                                              QDir(TestDb::tempDir()).filePath("service.mdb")}, &out, &err), 0);
        // An unknown service is the client library's clear refusal.
        try {
            OpenRepositoryArgument(session, QStringLiteral("postgresql://?service=no_such_service"));
            QFAIL("connected through an unknown service");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains("no_such_service"), qPrintable(e.description));
        }
    }

    void passwordFileOption()
    {
        const Env none = noPasswordSources();
        const QString good = writeFile("pw-good", (PwSecret + "\n").toUtf8());
        const QString bad = writeFile("pw-bad", "not-it\n");
        const QString package = QDir(TestDb::tempDir()).filePath("pwfile.mdb");
        QString out, err;
        QCOMPARE(RunTool("velmora-transfer", {"export", "--repository", bareUri(), "--package", package, "--password-file",
                                              good}, &out, &err), 0);
        QCOMPARE(RunTool("velmora-transfer", {"list", "--password-file", good, "--package", package, "--repository",
                                              bareUri()}, &out, &err), 0);
        QCOMPARE(RunTool("velmora-transfer", {"export", "--repository", bareUri(), "--package", package, "--password-file",
                                              bad}, &out, &err), 1);
        QVERIFY2(err.contains("password authentication failed"), qPrintable(err));
        QVERIFY(!err.contains("not-it"));
        // velmora-report reads it too; the report is missing, so it gets as far as the repository.
        QCOMPARE(RunTool("velmora-report", {"--repository", bareUri(), "--report", "999", "--password-file", good}, &out, &err), 1);
        QVERIFY2(err.contains("does not exist"), qPrintable(err));
        // Refused: a file that is not there, a file repository, a URI holding a password already.
        QCOMPARE(RunTool("velmora-transfer", {"export", "--repository", bareUri(), "--package", package, "--password-file",
                                              good + "-missing"}, &out, &err), 1);
        QVERIFY2(err.contains("cannot be read"), qPrintable(err));
        QCOMPARE(RunTool("velmora-report", {"--repository", package, "--report", "1", "--password-file", good}, &out, &err), 1);
        QVERIFY2(err.contains("not a file"), qPrintable(err));
        QUrl withPassword(bareUri());
        withPassword.setPassword(PwSecret);
        QCOMPARE(RunTool("velmora-transfer", {"export", "--repository", withPassword.toString(), "--package", package,
                                              "--password-file", good}, &out, &err), 1);
        QVERIFY2(err.contains("already holds a password"), qPrintable(err));
        QCOMPARE(RunTool("velmora-transfer", {"export", "--repository", bareUri(), "--password-file"}, &out, &err), 2);
    }

    void passwordSurvivesTheUri()
    {
        const QString awkward = QStringLiteral("p@ss:w/rd %41?&#'\\ é");
        const QUrl url(WithPassword(bareUri(), awkward));
        QCOMPARE(url.password(QUrl::FullyDecoded), awkward);
        QCOMPARE(url.userName(), PwUser);
        QCOMPARE(QUrlQuery(url).queryItemValue("port").toInt(), server().port);
        const QString file = writeFile("pw-crlf", "secret\r\nsecond line\n");
        QCOMPARE(ReadPasswordFile(file), QStringLiteral("secret"));
        QVERIFY_THROWS_EXCEPTION(AppError, ReadPasswordFile(writeFile("pw-empty", "\n")));
    }

    void connectDialogNeverStoresThePassword()
    {
        ScriptedPrompter p;
        const Env none = noPasswordSources();
        const Server s = server();
        RepositorySession session;
        {
            ConnectDialog dlg(session);
            dlg.optServer->setChecked(true);
            dlg.txtHost->setText(s.host);
            dlg.txtPort->setValue(s.port);
            dlg.txtDatabase->setText(PwDatabase);
            dlg.txtUser->setText(PwUser);
            dlg.txtPassword->setText(PwSecret);
            dlg.show();
            dlg.cmdOK->click();
            QCOMPARE(p.messages(), QStringList());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QSettings settings(QStringLiteral("Velmora"), QStringLiteral("Velmora"));
        settings.sync();
        for (const QString &key : settings.allKeys())
            QVERIFY2(!settings.value(key).toString().contains(PwSecret), qPrintable(key));
        QFile file(settings.fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray stored = file.readAll();
        QVERIFY(stored.contains(PwUser.toUtf8())); // the rest of the connection is remembered
        QVERIFY(!stored.contains(PwSecret.toUtf8()));
        // The next dialog starts with an empty password.
        ConnectDialog again(session);
        QCOMPARE(again.txtPassword->text(), QString());
        QCOMPARE(again.txtUser->text(), PwUser);
        // An empty password leaves it to PGPASSWORD.
        const Env env{{"PGPASSWORD", PwSecret}};
        RepositorySession other;
        ConnectDialog empty(other);
        empty.show();
        empty.cmdOK->click();
        QCOMPARE(p.messages(), QStringList());
        QCOMPARE(empty.result(), int(QDialog::Accepted));
        QCOMPARE(other.UserName(), PwUser);
    }
};

QTEST_MAIN(TestCredentials)
#include "test_credentials.moc"
