#pragma once

#include <QComboBox>
#include <QDateTime>
#include <QString>
#include <QTreeWidget>
#include <QTreeWidgetItem>

// Keys ("k12", "c1", "r7") and Tags of list, tree and combo items, as the windows use them.
// List views are QTreeWidgets (columns, check boxes, header sorting); image combos are QComboBoxes.
namespace ItemData {

constexpr int KeyRole = Qt::UserRole + 1;
constexpr int TagRole = Qt::UserRole + 2;

inline void setKey(QTreeWidgetItem *item, const QString &key) { item->setData(0, KeyRole, key); }
inline QString key(const QTreeWidgetItem *item) { return item ? item->data(0, KeyRole).toString() : QString(); }
inline void setTag(QTreeWidgetItem *item, const QVariant &tag) { item->setData(0, TagRole, tag); }
inline QVariant tag(const QTreeWidgetItem *item) { return item ? item->data(0, TagRole) : QVariant(); }
// The id of a key: the key without its first letter.
inline int idOfKey(const QString &key) { return key.mid(1).toInt(); }

// An id-and-name text ("12#$#Monthly sales") split at its first separator only: a name may hold
// the separator itself.
struct IdAndName {
    int id = 0;
    QString name;
};
IdAndName splitIdAndName(const QString &text);

// Depth-first search of a tree or list for the item with a key; nullptr when absent.
QTreeWidgetItem *findByKey(QTreeWidget *tree, const QString &key);

// Adds an item with key, text and tag to a combo (key in KeyRole, tag in TagRole).
void addComboItem(QComboBox *combo, const QString &key, const QString &text, const QVariant &tag);
int findComboKey(const QComboBox *combo, const QString &key);

// A stored date as lists and labels show it: the locale's short date with the whole year, and
// the time; "" for none.
QString dateText(const QDateTime &value);

} // namespace ItemData
