#include "TypeAhead.h"

TypeAheadResult ComboTypeAhead(const QStringList &itemTexts, const QStringList &itemKeys, const QString &text,
                               int selStart, int selLength, int keyCode, QChar ch)
{
    TypeAheadResult r;
    const bool enter = keyCode == 13;
    if (itemTexts.isEmpty() || (!enter && ch.unicode() <= 32))
        return r;
    r.consumed = true;
    const QString probe = enter ? text : text.left(selStart) + ch + text.mid(selStart + selLength);
    if (probe.isEmpty() && itemTexts.first().isEmpty()) {
        r.changeSelection = true;
        r.selectIndex = 0;
        return r;
    }
    int match = -1;
    for (int i = 0; i < itemTexts.size(); ++i) {
        if (itemTexts[i].startsWith(probe, Qt::CaseInsensitive)) {
            match = i;
            break;
        }
    }
    if (match < 0) {
        r.setText = true;
        r.text.clear();
        r.changeSelection = true;
        r.selectIndex = itemKeys.value(0) == QLatin1String("k0") ? 0 : -1;
        return r;
    }
    r.changeSelection = true;
    r.selectIndex = match;
    r.setText = true;
    r.text = itemTexts[match];
    if (enter) {
        r.selStart = 0;
        r.selLength = r.text.isEmpty() ? 0 : 1;
    } else {
        r.selStart = int(probe.size());
        r.selLength = int(r.text.size() - probe.size());
    }
    return r;
}
