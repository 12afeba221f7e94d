#pragma once

#include <QString>

// The per-user settings store: application "Velmora", sections "DB", "Settings", "Connect".
void SaveSetting(const QString &section, const QString &key, const QString &value);
QString GetSetting(const QString &section, const QString &key, const QString &defaultValue = QString());

class QWidget;
// Records a window's state and, in the normal state, its position and size (twips) under "Settings".
void SaveWindowPlacement(QWidget *window);

// 15 twips per device-independent pixel.
constexpr int TwipsPerPixel = 15;
inline int PixelsToTwips(int px) { return px * TwipsPerPixel; }
inline int TwipsToPixels(int twips) { return twips / TwipsPerPixel; }
