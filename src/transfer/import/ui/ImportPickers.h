#pragma once

#include <QList>
#include <QSqlDatabase>

class QWidget;

// The data-source and macro pickers over an open package: the entries of ids come pre-ticked;
// on OK ids holds the ticked ones. Returns false when the user cancelled (ids unchanged).
bool PickPackageDataSources(QWidget *parent, const QSqlDatabase &package, QList<int> &ids);
bool PickPackageMacros(QWidget *parent, const QSqlDatabase &package, QList<int> &ids);
