#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The variables one variable depends on (edit view), or the dependences that stand in the way of
// deleting it (read-only view).
class frmDependences : public QDialog {
    Q_OBJECT
public:
    explicit frmDependences(QWidget *parent = nullptr);

    bool Cancel = true;
    QLineEdit *txtDSN;
    QTreeWidget *lstReferences;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    // Fills the list and shows the dialog modally; a failure shows the error box and the dialog
    // is not shown (Cancel stays true).
    void LoadReferences(int idDataSource, int idVariable, bool dependences);
    // The tags of the ticked items, in list order.
    QList<int> CheckedIds() const;

public Q_SLOTS:
    void cmdSave_Click();
    void cmdCancel_Click();
    void lstReferences_ItemCheck(QTreeWidgetItem *item, int column);

protected:
    void done(int result) override;

private:
    int m_idDataSource = 0;
    int m_idVariable = 0;
    bool m_editView = true;
};
