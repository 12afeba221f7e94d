#pragma once

#include <QPushButton>
#include <QString>

// A push button carrying the design's control name as objectName, so tests find it by name.
// Buttons of windows that act on Enter themselves are created without auto-default.
inline QPushButton *NamedButton(QWidget *parent, const char *name, const QString &text, bool autoDefault = true)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    if (!autoDefault)
        b->setAutoDefault(false);
    return b;
}
