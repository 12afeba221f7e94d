#pragma once

#include "transfer/import/ImportPlan.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

// What an import will do, before it runs: problems first, then each kind with its count. Accepted
// (cmdImport) means "run it"; cmdBack goes back to the import window. A refused import cannot be
// started from here.
class frmImportPreview : public QDialog {
    Q_OBJECT
public:
    explicit frmImportPreview(const ImportPlan &plan, QWidget *parent = nullptr);

    QLabel *lblSummary;
    QTreeWidget *twPlan;
    QPushButton *cmdImport;
    QPushButton *cmdBack;
};
