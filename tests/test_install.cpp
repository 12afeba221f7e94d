#include "ScriptedPrompter.h"
#include "TestDb.h"
#include "ToolRun.h"

#include "navigator/frmMain.h"
#include "shell/frmSplash.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QtTest>

// What an installed copy shows about itself: the same project version everywhere.
class TestInstall : public QObject {
    Q_OBJECT

    static QString projectVersion()
    {
        return QStringLiteral("%1.%2.%3").arg(VELMORA_VERSION_MAJOR).arg(VELMORA_VERSION_MINOR).arg(VELMORA_VERSION_PATCH);
    }

private Q_SLOTS:
    void everyProgramNamesItsVersion_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("console") << "velmora";
        QTest::newRow("transfer") << "velmora-transfer";
        QTest::newRow("report") << "velmora-report";
    }
    void everyProgramNamesItsVersion()
    {
        QFETCH(QString, program);
        QString out, err;
        // The console answers without a display (none is set for it here).
        qputenv("QT_QPA_PLATFORM", "no-such-platform");
        const int rc = RunTool(program, {"--version"}, &out, &err);
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QCOMPARE(rc, 0);
        QCOMPARE(out, program + ' ' + projectVersion() + '\n');
        QCOMPARE(err, QString());
        // --help answers without a display too, and never opens a window.
        qputenv("QT_QPA_PLATFORM", "no-such-platform");
        const int help = RunTool(program, {"--help"}, &out, &err);
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QCOMPARE(help, 0);
        QVERIFY2(out.startsWith(QLatin1String("Usage: ") + program), qPrintable(out));
    }

    void aboutShowsTheSameVersion()
    {
        QVERIFY(projectVersion().count('.') == 2);
        TestDb::freshAppSession("sqlite");
        frmMain *main = frmMain::instance();
        QString shown;
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto *about = qobject_cast<frmSplash *>(QApplication::activeModalWidget());
            if (about) {
                shown = about->findChild<QLabel *>("lblVersion")->text();
                // Showing a splash window runs pending events, so this may run before the dialog's
                // own loop; the click waits until that loop runs. A click closes the window.
                QTimer::singleShot(100, about, [about] { QTest::mouseClick(about->lblVersion, Qt::LeftButton); });
            }
            ran = true;
        });
        main->mnuAboutUs->trigger();
        QTRY_VERIFY(ran);
        QCOMPARE(shown, QStringLiteral("Version ") + projectVersion());
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestInstall)
#include "test_install.moc"
