#pragma once

#include "repository/AppError.h"

#include <QString>
#include <exception>
#include <utility>

// The four lines of the error box, joined by carriage returns.
QString ErrorBoxText(const AppError &error, const QString &origin);
// Shows the error box (critical icon, OK, title "Velmora"); nothing when error.number is 0.
void ShowError(const AppError &error, const QString &origin);

// The one trap every user command runs in: a failure shows the error box with the command's
// origin text and the window stays open. Returns false when the command failed.
template <typename F>
bool RunCommand(const QString &origin, F &&command)
{
    try {
        std::forward<F>(command)();
        return true;
    } catch (const AppError &e) {
        ShowError(e, origin);
    } catch (const std::exception &e) {
        ShowError(AppError(ErrorNumber::Generic, QString::fromLocal8Bit(e.what())), origin);
    }
    return false;
}

// Restores the mouse pointer when it leaves scope, also when a command fails.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};
