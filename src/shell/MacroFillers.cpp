#include "MacroFillers.h"

#include "AppState.h"
#include "ItemData.h"
#include "repository/RepositorySession.h"

#include <QComboBox>
#include <QTreeWidget>

static QTreeWidgetItem *addListItem(QTreeWidget *list, int id, const QString &text)
{
    auto *item = new QTreeWidgetItem(list, QStringList{text});
    ItemData::setKey(item, QStringLiteral("k") + QString::number(id));
    ItemData::setTag(item, id);
    return item;
}

void FillMacroList(int categoryId, QTreeWidget *list)
{
    list->clear();
    const QStringList macros = App::session().GetMacroList(categoryId);
    for (const QString &entry : macros) {
        const QStringList parts = entry.split(IdNameSeparator);
        addListItem(list, parts.value(0).toInt(), parts.value(1));
    }
    if (list->topLevelItemCount() > 0)
        list->setCurrentItem(list->topLevelItem(0));
}

void FillMacroCategories(QTreeWidget *list)
{
    const QStringList categories = App::session().GetMacroCategoryList();
    list->clear();
    addListItem(list, 0, QStringLiteral("< All macros >"));
    for (const QString &entry : categories) {
        const QStringList parts = entry.split(IdNameSeparator);
        addListItem(list, parts.value(0).toInt(), parts.value(1));
    }
    list->setCurrentItem(list->topLevelItem(0));
}

void FillMacroCategories(QComboBox *combo)
{
    const QStringList categories = App::session().GetMacroCategoryList();
    combo->clear();
    ItemData::addComboItem(combo, QStringLiteral("k0"), QStringLiteral("< All macros >"), 0);
    for (const QString &entry : categories) {
        const QStringList parts = entry.split(IdNameSeparator);
        ItemData::addComboItem(combo, QStringLiteral("k") + parts.value(0), parts.value(1), parts.value(0).toInt());
    }
    combo->setCurrentIndex(0);
}
