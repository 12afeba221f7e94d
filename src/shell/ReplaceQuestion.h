#pragma once

#include <QString>

// Before a chosen file is replaced: a file that is not a package is refused with a message, a
// package only when the user answers Yes. True when path is free or may be replaced. The
// questions go through the prompt seam with the file dialog's title.
bool MayReplaceWithNewFile(const QString &path, const QString &title);
