#include "ItemData.h"

#include "repository/RepositorySession.h"

#include <QLocale>

#include <QTreeWidgetItemIterator>

namespace ItemData {

IdAndName splitIdAndName(const QString &text)
{
    const qsizetype at = text.indexOf(IdNameSeparator);
    if (at < 0)
        return {text.toInt(), QString()};
    return {text.left(at).toInt(), text.mid(at + IdNameSeparator.size())};
}

QTreeWidgetItem *findByKey(QTreeWidget *tree, const QString &key)
{
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->data(0, KeyRole).toString() == key)
            return *it;
    return nullptr;
}

void addComboItem(QComboBox *combo, const QString &key, const QString &text, const QVariant &tag)
{
    combo->addItem(text);
    const int i = combo->count() - 1;
    combo->setItemData(i, key, KeyRole);
    combo->setItemData(i, tag, TagRole);
}

int findComboKey(const QComboBox *combo, const QString &key)
{
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemData(i, KeyRole).toString() == key)
            return i;
    return -1;
}

QString dateText(const QDateTime &value)
{
    if (!value.isValid())
        return QString();
    const QLocale locale;
    QString format = locale.dateFormat(QLocale::ShortFormat);
    // Short formats often give the year in two digits; a list of reports kept for years needs four.
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return locale.toString(value, format + QLatin1Char(' ') + locale.timeFormat(QLocale::ShortFormat));
}

} // namespace ItemData
