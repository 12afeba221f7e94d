#pragma once

#include <QDialog>
#include <QList>
#include <QSqlDatabase>

class QCheckBox;
class QPushButton;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

// Macro picker: macros by category with ticks, the body and references of the clicked macro.
// Works on any connection with the repository layout (the repository, or a package on import).
class frmExportMacros : public QDialog {
    Q_OBJECT
public:
    explicit frmExportMacros(QWidget *parent = nullptr);

    // Fills the categories from conn, takes the selection and shows the picker modally. Ticks
    // change the selection at once, so "&Cancel" keeps what was ticked; the caller reads
    // colSelMacros after the call.
    void LoadMe(const QList<int> &cSelMacros, const QSqlDatabase &conn);
    QList<int> colSelMacros;

    QTreeWidget *lstCateg;
    QTreeWidget *lstMacro;
    QTextEdit *txtMacro;
    QTreeWidget *lstRefMacro;
    QCheckBox *chkIncludeMacDep;
    QPushButton *cmdCheckAll;
    QPushButton *cmdClearAll;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

public Q_SLOTS:
    void lstCateg_ItemClick(QTreeWidgetItem *item);
    void lstMacro_ItemClick(QTreeWidgetItem *item);
    void lstMacro_ItemCheck(QTreeWidgetItem *item);
    void cmdCheckAll_Click();
    void cmdClearAll_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void tickSelected();
    void addSelected(int id);

    QSqlDatabase m_db;
    bool m_filling = false;
};
