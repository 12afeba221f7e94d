#pragma once

class QTreeWidget;
class QComboBox;

// Fill a list view with the macros of a category (first item selected).
void FillMacroList(int categoryId, QTreeWidget *list);
// Fill a list view or combo with "< All macros >" (key "k0") and every macro category; the first is selected.
void FillMacroCategories(QTreeWidget *list);
void FillMacroCategories(QComboBox *combo);
