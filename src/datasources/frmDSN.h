#pragma once

#include <QDialog>

class QAction;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class VariablesGrid;
class frmEditSQLString;

// The data-source window: every data source of the repository and, for the selected one, the
// grid of its variables.
class frmDSN : public QDialog {
    Q_OBJECT
public:
    explicit frmDSN(QWidget *parent = nullptr);

    QTreeWidget *lstDSN;
    QPushButton *cmdAdd;
    QPushButton *cmdEdit;
    QPushButton *cmdDelete;
    QTabWidget *TabStrip1;
    VariablesGrid *grdVariabile;
    QPushButton *cmdUp;
    QPushButton *cmdDown;
    QPushButton *cmdDelVar;
    QAction *mnuDeleteVariable; // the grid's context menu
    QPushButton *cmdReferences;
    QPushButton *cmdSave;
    QPushButton *cmdClose;

    // The memo editor while it is open (tests drive it); nullptr otherwise.
    frmEditSQLString *memoEditor() const { return m_memo; }
    // The id of the data source whose variables the grid shows; 0 = none.
    int shownDataSource() const { return m_shownDs; }

public Q_SLOTS:
    void cmdAdd_Click();
    void cmdEdit_Click();
    void cmdDelete_Click();
    void cmdClose_Click();
    void cmdSave_Click();
    void cmdUp_Click();
    void cmdDown_Click();
    void cmdReferences_Click();
    void lstDSN_ItemClick(QTreeWidgetItem *item);
    void lstDSN_DblClick();
    void lstDSN_ColumnClick(int column);
    void grdVariabile_RowAdded(int row);
    void grdVariabile_BeforeDeleteRow(bool &cancel);
    void cmdDelVar_Click();
    void EditMemo();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void done(int result) override;
    void reject() override;

private:
    void Form_Load();
    void EditSelected(); // passes failures on to the command
    void SetupGrid();
    void LoadVariables(int idDataSource);
    void ClearGridReadOnly();
    void setRowButtons(bool enabled);
    void fillRow(QTreeWidgetItem *item, int id, const QString &name, const QString &conn, const QString &description,
                 int isJet);
    int selectedId() const;
    // Stores the grid's changes for the data source it shows. False, with a message, when a
    // variable has no name or shares its name; failures pass on.
    bool SaveGrid();
    // Before the grid's variables leave the screen: true to go on (saved or dropped as the user
    // chose), false to stay.
    bool ConfirmLeaveGrid();
    QString shownName() const;
    void selectShownRow();

    frmEditSQLString *m_memo = nullptr;
    int m_shownDs = 0;
    bool m_sortAscending = false;
};

// Opens the data-source window modally (Tools > "&DSN" and the toolbar's "DSN").
void ShowDataSources(QWidget *parent);
