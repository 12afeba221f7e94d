#include "Settings.h"

#include <QSettings>
#include <QWidget>


void SaveSetting(const QString &section, const QString &key, const QString &value)
{
    QSettings s(QStringLiteral("Velmora"), QStringLiteral("Velmora"));
    s.beginGroup(section);
    s.setValue(key, value);
    s.endGroup();
    s.sync();
}

QString GetSetting(const QString &section, const QString &key, const QString &defaultValue)
{
    QSettings s(QStringLiteral("Velmora"), QStringLiteral("Velmora"));
    s.beginGroup(section);
    return s.value(key, defaultValue).toString();
}

void SaveWindowPlacement(QWidget *window)
{
    if (!window)
        return;
    const QString name = window->objectName();
    const QString section = QStringLiteral("Settings");
    int state = 0;
    if (window->isMinimized())
        state = 1;
    else if (window->isMaximized())
        state = 2;
    SaveSetting(section, name + QStringLiteral("WindowState"), QString::number(state));
    if (state != 0)
        return;
    const QRect g = window->geometry();
    SaveSetting(section, name + QStringLiteral("Left"), QString::number(PixelsToTwips(g.x())));
    SaveSetting(section, name + QStringLiteral("Top"), QString::number(PixelsToTwips(g.y())));
    SaveSetting(section, name + QStringLiteral("Width"), QString::number(PixelsToTwips(g.width())));
    SaveSetting(section, name + QStringLiteral("Height"), QString::number(PixelsToTwips(g.height())));
}
