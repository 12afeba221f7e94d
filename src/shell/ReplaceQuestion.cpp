#include "ReplaceQuestion.h"

#include "Prompter.h"
#include "repository/AppError.h"
#include "repository/PackageFile.h"

#include <QFileInfo>

bool MayReplaceWithNewFile(const QString &path, const QString &title)
{
    if (!QFileInfo::exists(path))
        return true;
    try {
        PackageFile::checkReplaceable(path);
    } catch (const AppError &e) {
        prompter().message(e.description, title, Prompter::Icon::Exclamation, Prompter::Buttons::Ok);
        return false;
    }
    return prompter().message(QStringLiteral("%1 already exists.\rDo you want to replace it?").arg(QFileInfo(path).fileName()),
                              title, Prompter::Icon::Exclamation, Prompter::Buttons::YesNo)
        == Prompter::Answer::Yes;
}
