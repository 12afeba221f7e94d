#include "repository/Version.h"
#include "shell/Startup.h"

#include <QApplication>
#include <QIcon>
#include <QTextStream>

#include <cstring>

int main(int argc, char **argv)
{
    // Answered before the application starts, so it works without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            QTextStream(stdout) << VersionLine(QStringLiteral("velmora")) << Qt::endl;
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            QTextStream(stdout) << "Usage: velmora [--version | --help]\n"
                                   "Opens the Velmora console; the connect dialog chooses the repository.\n";
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(VersionNumber());
    QApplication::setDesktopFileName(QStringLiteral("velmora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/velmora.svg")));
    QApplication::setQuitOnLastWindowClosed(true);
    return Main(app);
}
