#include "PropertiesCommands.h"

#include "frmCatProp.h"
#include "frmRepProp.h"
#include "repository/Items.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"

#include <QApplication>
#include <QTreeWidget>

namespace PropertiesCommands {

namespace {
constexpr int ColName = 0;
constexpr int ColFilePath = 1;
constexpr int ColType = 2;
constexpr int ColModified = 3;
constexpr int ColCheckOut = 4;

bool holdsFocus(QWidget *view, QWidget *focused)
{
    return view && focused && (focused == view || view->isAncestorOf(focused));
}
} // namespace

QTreeWidgetItem *SelectedItem(QTreeWidget *view)
{
    if (!view)
        return nullptr;
    QTreeWidgetItem *current = view->currentItem();
    if (current && current->isSelected())
        return current;
    const QList<QTreeWidgetItem *> selected = view->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void ShowCategoryProperties(QWidget *parent, int idCategory, const QString &origin)
{
    RunCommand(origin, [&] {
        frmCatProp w(parent);
        w.IdCategory = idCategory;
        w.TipLoad = 1;
        w.exec();
    });
}

void mnuCatProp_Click(QWidget *parent, QTreeWidget *lstRep)
{
    const QString key = ItemData::key(SelectedItem(lstRep));
    if (key.startsWith(QLatin1Char('c')))
        ShowCategoryProperties(parent, ItemData::idOfKey(key), QStringLiteral("mnuCatProp_Click()"));
}

void mnuCateg2Prop_Click(QWidget *parent, QTreeWidget *twRep)
{
    const QString key = ItemData::key(SelectedItem(twRep));
    if (!key.isEmpty())
        ShowCategoryProperties(parent, ItemData::idOfKey(key), QStringLiteral("mnuCateg2Prop_Click()"));
}

void UpdateReportRow(QTreeWidgetItem *row, const ReportItem &report)
{
    if (!row)
        return;
    row->setText(ColName, report.Name);
    row->setText(ColFilePath, report.FilePath);
    row->setText(ColType, report.Version);
    row->setText(ColModified, ItemData::dateText(report.Modified));
}

bool mnuRepProp_Click(QWidget *parent, QTreeWidget *lstRep)
{
    bool saved = false;
    RunCommand(QStringLiteral("frmMain.mnuRepProp_Click()"), [&] {
        QTreeWidgetItem *row = SelectedItem(lstRep);
        const QString key = ItemData::key(row);
        if (!key.startsWith(QLatin1Char('r')))
            return;
        frmRepProp w(parent);
        w.LoadMe(ItemData::idOfKey(key), row->text(ColName), row->text(ColCheckOut));
        if (w.WasSave) {
            // The list may have been reloaded meanwhile; find the row again by its key.
            QTreeWidgetItem *now = ItemData::findByKey(lstRep, key);
            UpdateReportRow(now, w.zatReport);
            saved = true;
        }
    });
    return saved;
}

void ListItemProperties(QWidget *parent, QTreeWidget *lstRep)
{
    const QString key = ItemData::key(SelectedItem(lstRep));
    if (key.startsWith(QLatin1Char('r')))
        mnuRepProp_Click(parent, lstRep);
    else if (key.startsWith(QLatin1Char('c')))
        mnuCatProp_Click(parent, lstRep);
}

void Properties(QWidget *parent, QTreeWidget *twRep, QTreeWidget *lstRep, QWidget *focused)
{
    RunCommand(QStringLiteral("Properties()"), [&] {
        if (!focused)
            focused = QApplication::focusWidget();
        if (holdsFocus(lstRep, focused)) {
            if (SelectedItem(lstRep))
                ListItemProperties(parent, lstRep);
        } else if (holdsFocus(twRep, focused)) {
            if (SelectedItem(twRep))
                mnuCateg2Prop_Click(parent, twRep);
        }
    });
}

} // namespace PropertiesCommands
