#pragma once

#include <QDialog>
#include <QList>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The tree of live categories and reports with a tick on every report. ViewFor 0: the reports
// granted to a role; 1: the working files (reports checked out) of the logged-in user.
class frmReports : public QDialog {
    Q_OBJECT
public:
    enum TickState { NoTick = -1, Unticked = 0, Ticked = 1, HeldByOther = 2 };
    static constexpr int StateRole = Qt::UserRole + 3;

    explicit frmReports(QWidget *parent = nullptr);

    QLabel *lblRole; // the role whose grants are edited (grants view only)
    QTreeWidget *twRep;
    QPushButton *cmdSelectAll;
    QPushButton *cmdDeselectAll;
    QPushButton *cmdSave;
    QPushButton *cmdClose;

    int ViewFor = 0;
    QString RoleName; // shown above the tree in the grants view; set before LoadMe
    bool Cancel = true;

    // IdItem: the role (grants view) or 0 (working files). Builds the tree and shows it modally.
    void LoadMe(int IdItem);
    // The building part of LoadMe; each loading step reports its own failure.
    void BuildTree(int IdItem);

    static int tickState(const QTreeWidgetItem *item); // NoTick for categories
    // A report's text in the working-files view: its name and the holder's names in brackets.
    static QString HolderText(const QString &name, const QString &firstName, const QString &lastName);
    // Ids of the ticked reports, in tree order.
    QList<int> TickedReports() const;

public Q_SLOTS:
    void twRep_DblClick(QTreeWidgetItem *item);
    void cmdSelectAll_Click();
    void cmdDeselectAll_Click();
    void cmdSave_Click();
    void cmdClose_Click();

protected:
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void LoadCateg();
    void LoadReports();
    void LoadReportsCheckOut();
    void setTickState(QTreeWidgetItem *item, int state);
    void tickAll(bool ticked);
    bool onTickImage(const QTreeWidgetItem *item, const QPoint &viewportPos) const;

    int m_idItem = 0;
};
