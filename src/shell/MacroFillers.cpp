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
        const ItemData::IdAndName macro = ItemData::splitIdAndName(entry);
        addListItem(list, macro.id, macro.name);
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
        const ItemData::IdAndName category = ItemData::splitIdAndName(entry);
        addListItem(list, category.id, category.name);
    }
    list->setCurrentItem(list->topLevelItem(0));
}

void FillMacroCategories(QComboBox *combo)
{
    const QStringList categories = App::session().GetMacroCategoryList();
    combo->clear();
    ItemData::addComboItem(combo, QStringLiteral("k0"), QStringLiteral("< All macros >"), 0);
    for (const QString &entry : categories) {
        const ItemData::IdAndName category = ItemData::splitIdAndName(entry);
        ItemData::addComboItem(combo, QStringLiteral("k") + QString::number(category.id), category.name, category.id);
    }
    combo->setCurrentIndex(0);
}
