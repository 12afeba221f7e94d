#pragma once

#include <QIcon>

// The main window's image list: 31 small pictures indexed from 1. A report's IdExtension is an
// index into it, so the order never changes.
namespace ImageList1 {

constexpr int Count = 31;
// The picture at index (1..31); an index outside the list gives the generic document (18).
QIcon icon(int index);
// Index actually shown for index (the same fallback as icon()).
int normalised(int index);

// Pictures of the toolbar buttons that the list has none for, by button key ("Exit", "keySave",
// "Cut", "Copy", "Paste", "Refresh", "Properties", "keyHelp"); a null icon for other keys.
QIcon toolbarIcon(const QString &key);

} // namespace ImageList1
