#include "UnsavedWork.h"

#include "Prompter.h"

bool AskToSaveWork(const QString &question, const std::function<bool()> &save)
{
    switch (prompter().message(question, AppTitle, Prompter::Icon::Question, Prompter::Buttons::YesNoCancel)) {
    case Prompter::Answer::Yes:
        return save();
    case Prompter::Answer::No:
        return true;
    default:
        return false;
    }
}

bool LeaveOrStay(const std::function<bool()> &confirm, const std::function<void()> &stay)
{
    bool leave = false;
    try {
        leave = confirm();
    } catch (...) {
        stay();
        throw;
    }
    if (!leave)
        stay();
    return leave;
}
