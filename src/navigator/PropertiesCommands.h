#pragma once

class QString;
class ReportItem;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// The properties commands of the main window. They take the window's tree (twRep) and list
// (lstRep, keys "c"/"r" + id in ItemData::KeyRole; columns 0 Name, 1 Destination file, 2 Type,
// 3 Modified, 4 Check Out) and run each command in its own error trap.
namespace PropertiesCommands {

// The selected item of a tree or list: the current item when selected, else the first selected.
QTreeWidgetItem *SelectedItem(QTreeWidget *view);

// The category window for a category id, under the error origin given.
void ShowCategoryProperties(QWidget *parent, int idCategory, const QString &origin);

// List context menu "Properties" on a category row.
void mnuCatProp_Click(QWidget *parent, QTreeWidget *lstRep);
// Tree context menu "&Properties": the selected node.
void mnuCateg2Prop_Click(QWidget *parent, QTreeWidget *twRep);
// List context menu "Properties" on a report row; after a save the row shows the saved report.
// Returns whether the report was saved.
bool mnuRepProp_Click(QWidget *parent, QTreeWidget *lstRep);

// By the kind of the selected list row: report window for "r", category window for "c".
// Used by the recycle-bin menu's "&Properties", Enter and double-click in the recycle bin.
void ListItemProperties(QWidget *parent, QTreeWidget *lstRep);

// View > "&Properties" and the toolbar: the list when it has the focus, the tree when it has.
// focused: the widget with the keyboard focus; nullptr = QApplication::focusWidget().
void Properties(QWidget *parent, QTreeWidget *twRep, QTreeWidget *lstRep, QWidget *focused = nullptr);

// Writes a saved report into its list row: name, destination file, type, modified.
void UpdateReportRow(QTreeWidgetItem *row, const ReportItem &report);

} // namespace PropertiesCommands
