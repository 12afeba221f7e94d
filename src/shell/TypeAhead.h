#pragma once

#include <QString>
#include <QStringList>

// Type-ahead of the company combo: what a key press does to the combo's text and selection.
struct TypeAheadResult {
    bool consumed = false;  // the key is swallowed (the combo does not see it)
    bool changeSelection = false;
    int selectIndex = -1;   // with changeSelection: the item to select, -1 = none
    bool setText = false;
    QString text;
    int selStart = 0;
    int selLength = 0;
};

// keyCode 13 is Enter; ch is the typed character for any other key.
TypeAheadResult ComboTypeAhead(const QStringList &itemTexts, const QStringList &itemKeys, const QString &text,
                               int selStart, int selLength, int keyCode, QChar ch);
