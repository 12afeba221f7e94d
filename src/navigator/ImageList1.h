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

} // namespace ImageList1
