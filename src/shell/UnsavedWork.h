#pragma once

#include <QString>
#include <functional>

// Typed work that is about to leave the screen (another item chosen, the window closed).

// Asks the question (Yes / No / Cancel, title "Velmora"). Yes runs save; true means go on (saved,
// or dropped as the user chose), false means stay.
bool AskToSaveWork(const QString &question, const std::function<bool()> &save);

// Runs confirm; when it answers stay, or fails, runs stay first (a failure then passes on).
// True to go on.
bool LeaveOrStay(const std::function<bool()> &confirm, const std::function<void()> &stay);
