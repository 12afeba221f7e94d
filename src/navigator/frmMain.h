#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>

class QLabel;
class QAction;
class QLineEdit;
class QMenu;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

// The main window: the category tree, the contents of the selected category, the menus,
// toolbar and context menus that reach every command.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // The one main window of the run, created (and first loaded) on first use.
    static frmMain *instance();
    static bool exists();
    static void destroyInstance();
    ~frmMain() override;

    // Image index of a tree node or list item (column 0), kept beside its icon.
    static constexpr int ImageRole = Qt::UserRole + 10;
    static constexpr int SelectedImageRole = Qt::UserRole + 11;
    // True on list items shown ghosted after a Cut.
    static constexpr int GhostRole = Qt::UserRole + 12;

    // Status-bar panels 1..5.
    void setPanelText(int panel, const QString &text);
    QString panelText(int panel) const;

    // Loading (errors pass to the caller unless the procedure reports its own).
    void LoadCateg(const QString &nodeKey);
    void LoadListView(int id);
    void LoadSubCategories(int id);
    void LoadReports(int id);
    void LoadRecycleBin();
    void RefreshMe();
    // Empties tree, path box and list (before a different repository is shown).
    void ClearViews();

    // Unique names in a container; empty when the repository could not be asked.
    QString CreateCategName(int parent, const QString &base);
    QString CreateReportName(int category, const QString &base);
    // Whether the system clipboard holds this repository's marker.
    bool IsOurClipboard() const;

    // Which of the two views commands act on (the one that last had the focus).
    bool listHasFocus() const;
    bool treeHasFocus() const;

    // The selected tree node and the selected (current, else first selected) list item.
    QTreeWidgetItem *selectedNode() const;
    QTreeWidgetItem *selectedListItem() const;
    QString selectedNodeKey() const;
    // Id of the selected list row when it is a report, else 0.
    int selectedReportId() const;

    QLineEdit *txtRep;
    QTreeWidget *twRep;
    QTreeWidget *lstRep;
    QToolBar *Toolbar1;

    // Menu bar
    QMenu *mnuApplication, *mnuNew, *mnuEdit, *mnuView, *mnuTools, *mnuQSearch, *mnuHelp;
    QAction *mnuNewDB, *mnuNewSampleDB, *mnuNewCategory, *mnuNewExcel, *mnuOpen45, *mnuSave, *mnuOptions, *mnuExit;
    QAction *mnuCut, *mnuCopy, *mnuPaste, *mnuDelete, *mnuCheckIn1, *mnuCheckOut1, *mnuWorkingFiles1;
    QAction *mnuFind, *mnuViewRefresh, *mnuViewProp;
    QAction *mnuDSN, *mnuMacro, *mnuRights, *mnuUserRep, *mnuImport, *mnuExport;
    QAction *mnuZATHelp, *mnuAboutUs;
    // Context menus
    QMenu *mnuFile, *mnuCategory, *mnuCategory2, *mnuOthers, *mnuONew, *mnuDelItem;
    QAction *mnuOpNewRep, *mnuOpExRep, *mnuProcessRep, *mnuRCut, *mnuRCopy, *mnuRPaste, *mnuRDelete,
        *mnuCheckIn, *mnuCheckOut, *mnuWorkingFiles, *mnuDrepturi, *mnuRepProp;
    QAction *mnuOpen, *mnuCatCut, *mnuCatCopy, *mnuCatPaste, *mnuCDelete, *mnuCatProp;
    QAction *mnuOpen2, *mnuCat1Cut, *mnuCat1Copy, *mnuCat1Paste, *mnuCCDelete, *mnuCateg2Prop;
    QAction *mnuOFind, *mnuLPaste, *mnuORefresh, *mnuONewCategory, *mnuONewExcelRep, *mnuImportDocs;
    QAction *mnuRestoreItem, *mnuDelItemProp;
    // Separators shown or hidden with their entries.
    QAction *sepWorkbook1, *sepWorkbook2, *sepCat1Paste, *sepImportDocs;

protected:
    explicit frmMain(QWidget *parent = nullptr);
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

public Q_SLOTS:
    // File, Help (shell)
    void mnuNewDB_Click();
    void mnuNewSampleDB_Click();
    void mnuOpen45_Click();
    void mnuExit_Click();
    void mnuAboutUs_Click();

    // Navigator commands
    void mnuNewCategory_Click();
    void mnuNewExcel_Click();
    void mnuRDelete_Click();
    void EmptyRecycleBin();
    void mnuRestoreItem_Click();
    void mnuCut_Click();
    void mnuCopy_Click();
    void mnuPaste_Click();
    void mnuCheckIn_Click();
    void mnuCheckOut_Click();
    void mnuViewRefresh_Click();
    void mnuOpen_Click();  // the double-click action on the selected row
    void mnuOpen2_Click(); // expand the selected node and list it
    void mnuEdit_Click();  // the Edit menu opens
    void Toolbar1_ButtonClick(const QString &key);

    void twRep_NodeClick(QTreeWidgetItem *node);
    void lstRep_DblClick(QTreeWidgetItem *item);
    void lstRep_ColumnClick(int column);
    // Right mouse button released at pos (viewport coordinates); pops up the chosen menu.
    void lstRep_MouseUp(const QPoint &pos);
    void twRep_MouseUp(const QPoint &pos);
    // The key handling of the list; true when the key was acted on.
    bool lstRep_KeyDown(int key, Qt::KeyboardModifiers modifiers);

    // Commands of other areas (bodies in frmMainExternalCommands.cpp).
    void mnuOptions_Click();
    void mnuWorkingFiles_Click();
    void mnuViewProp_Click();
    void mnuDSN_Click();
    void mnuMacro_Click();
    void mnuRights_Click();
    void mnuUserRep_Click();
    void mnuImport_Click();
    void mnuExport_Click();
    void mnuOpNewRep_Click();
    void mnuOpExRep_Click();
    void mnuProcessRep_Click();
    void mnuImportDocs_Click();
    void mnuRepProp_Click();
    void mnuCatProp_Click();
    void mnuCateg2Prop_Click();
    void mnuDelItemProp_Click();
    // Enter on a report row: opens the report by OpenInExistingWorkbook.
    void OpenReportOnEnter(int reportId);
    // Double-click (or "Open") on a report row: the checked one of the two workbook entries.
    void OpenReportByMode(int reportId);

private:
    friend class LabelEditDelegate;
    void Form_Load();
    void buildMenus();
    void buildToolbar();
    QTreeWidgetItem *addNode(int id, int parent, const QString &name, bool warnMissingParent);
    void setNodeImages(QTreeWidgetItem *node, int image, int selectedImage);
    void addListItems(const QList<QTreeWidgetItem *> &items);
    QTreeWidgetItem *newListItem(const QString &key, const QString &name, int image);
    void selectNode(QTreeWidgetItem *node);
    QString fullPath(QTreeWidgetItem *node) const;
    void collectSelection(QList<int> &reports, QList<int> &categories, bool ghost);
    void reloadAt(const QString &key);
    void startListEdit(QTreeWidgetItem *item);
    bool lstRep_AfterLabelEdit(QTreeWidgetItem *item, const QString &newText);
    bool twRep_AfterLabelEdit(QTreeWidgetItem *node, const QString &newText);
    void setCheckEntries(QAction *checkIn, QAction *checkOut, bool fromContextMenu);
    // Chooses and pops up the context menu of a list row (nullptr: the empty area) or tree node.
    void showListMenu(QTreeWidgetItem *item, const QPoint &globalPos);
    void showTreeMenu(QTreeWidgetItem *node, const QPoint &globalPos);
    // Panel 1 from the rows the list shows.
    void ShowCounts();

    QList<QLabel *> m_panels;
    QHash<QString, QTreeWidgetItem *> m_nodes; // tree nodes by key
    QWidget *m_focusView = nullptr;
    bool m_sortOn = false;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    int m_sortColumn = 0;
    int m_programmaticSelect = 0;
    int m_editing = 0; // label editors open
};
