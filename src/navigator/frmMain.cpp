#include "frmMain.h"

#include "ImageList1.h"
#include "repository/NameRule.h"
#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/Startup.h"
#include "transfer/ui/frmTransferLog.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDate>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

static frmMain *theMain = nullptr;

namespace {

const QString RootKey = QStringLiteral("c1");
const QString BinKey = QStringLiteral("c2");

QString displayName(const QString &name) { return name.isNull() ? QStringLiteral("Unknown") : name; }

QString dateText(const QDateTime &d) { return ItemData::dateText(d); }

// Told when the clipboard holds items of a repository other than the one open now.
const QString ForeignClipboardText =
    QStringLiteral("The items on the clipboard were cut or copied in another repository; they cannot be pasted here.");

QChar kindOf(const QString &key) { return key.isEmpty() ? QChar() : key.at(0).toLower(); }

} // namespace

// Label editing with the outcome decided by the window: a refused edit leaves the old text.
class LabelEditDelegate : public QStyledItemDelegate {
public:
    LabelEditDelegate(frmMain *main, QTreeWidget *view) : QStyledItemDelegate(view), m_main(main), m_view(view) {}

    // The window is going away: an edit still open then is dropped, not saved.
    void detach() { m_main = nullptr; }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        // Only the name is edited in place; the other columns are facts of the report.
        if (index.column() != 0)
            return nullptr;
        if (m_main)
            ++m_main->m_editing;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override
    {
        if (m_main)
            --m_main->m_editing;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (!line || !m_main)
            return;
        QTreeWidgetItem *item = m_view->itemFromIndex(index);
        const bool accepted = m_view == m_main->lstRep ? m_main->lstRep_AfterLabelEdit(item, line->text())
                                                       : m_main->twRep_AfterLabelEdit(item, line->text());
        if (accepted)
            QStyledItemDelegate::setModelData(editor, model, index);
    }

    bool eventFilter(QObject *editor, QEvent *event) override
    {
        // The clipboard marker of cut or copied items is not a name: Ctrl+V in the editor pastes
        // only plain text.
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste)
            && RepositorySession::IsClipboardMarker(QGuiApplication::clipboard()->text()))
            return true;
        return QStyledItemDelegate::eventFilter(editor, event);
    }

private:
    frmMain *m_main;
    QTreeWidget *m_view;
};

frmMain *frmMain::instance()
{
    if (!theMain) {
        theMain = new frmMain;
        theMain->Form_Load();
    }
    return theMain;
}

bool frmMain::exists() { return theMain != nullptr; }

void frmMain::destroyInstance()
{
    delete theMain;
    theMain = nullptr;
}

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("  Document Management System"));
    resize(1180, 720); // room for all five list columns

    auto *central = new QWidget(this);
    auto *grid = new QGridLayout(central);
    grid->setContentsMargins(4, 4, 4, 4);
    txtRep = new QLineEdit(central);
    txtRep->setObjectName(QStringLiteral("txtRep"));
    txtRep->setReadOnly(true);
    auto *split = new QSplitter(Qt::Horizontal, central);
    twRep = new QTreeWidget(split);
    twRep->setObjectName(QStringLiteral("twRep"));
    twRep->setHeaderHidden(true);
    twRep->setColumnCount(1);
    twRep->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    twRep->setItemDelegate(new LabelEditDelegate(this, twRep));
    lstRep = new QTreeWidget(split);
    lstRep->setObjectName(QStringLiteral("lstRep"));
    lstRep->setRootIsDecorated(false);
    lstRep->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstRep->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    lstRep->setItemDelegate(new LabelEditDelegate(this, lstRep));
    lstRep->setHeaderLabels({QStringLiteral("Report Name"), QStringLiteral("Destination file"), QStringLiteral("Type"),
                             QStringLiteral("Modified"), QStringLiteral("Check Out")});
    lstRep->header()->setSectionsClickable(true);
    lstRep->setColumnWidth(0, 220);
    lstRep->setColumnWidth(1, 200);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    grid->addWidget(txtRep, 0, 0);
    grid->addWidget(split, 1, 0);
    setCentralWidget(central);

    connect(twRep, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *node) { twRep_NodeClick(node); });
    // Moving through the tree with the keyboard lists the node too.
    connect(twRep, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *node) {
        if (m_programmaticSelect == 0 && node && QApplication::mouseButtons() == Qt::NoButton)
            twRep_NodeClick(node);
    });
    connect(lstRep, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { lstRep_DblClick(item); });
    connect(lstRep->header(), &QHeaderView::sectionClicked, this, &frmMain::lstRep_ColumnClick);
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(twRep), static_cast<QAbstractItemView *>(lstRep)}) {
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        // The menus pop up on the right button's release, not on the platform's request.
        view->setContextMenuPolicy(Qt::PreventContextMenu);
        view->viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
    }
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now == lstRep || now == twRep)
            m_focusView = now;
    });

    buildMenus();
    buildToolbar();

    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    for (int i = 1; i <= 5; ++i) {
        auto *panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setMinimumWidth(i <= 2 ? 160 : 80);
        bar->addPermanentWidget(panel, i == 2 ? 1 : 0);
        m_panels << panel;
    }
    auto *clock = new QTimer(this);
    auto tick = [this] {
        m_panels[3]->setText(QTime::currentTime().toString(QStringLiteral("HH:mm")));
        m_panels[4]->setText(QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    };
    connect(clock, &QTimer::timeout, this, tick);
    clock->start(1000);
    tick();
}

frmMain::~frmMain()
{
    // QWidget's destructor closes the window, which moves the focus: the focus handler and an
    // open label edit's commit would then run on a window that is already half gone.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    for (QTreeWidget *view : {twRep, lstRep})
        if (auto *delegate = dynamic_cast<LabelEditDelegate *>(view->itemDelegate()))
            delegate->detach();
}

void frmMain::buildMenus()
{
    auto act = [this](QMenu *menu, const char *name, const QString &caption, void (frmMain::*slot)() = nullptr) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        if (slot)
            connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto menu = [this](const char *name, const QString &caption, QMenu *parentMenu = nullptr) {
        QMenu *m = parentMenu ? parentMenu->addMenu(caption) : new QMenu(caption, this);
        m->setObjectName(QLatin1String(name));
        return m;
    };

    mnuApplication = menu("mnuApplication", QStringLiteral("&File"));
    mnuNew = menu("mnuNew", QStringLiteral("&New"), mnuApplication);
    mnuNewDB = act(mnuNew, "mnuNewDB", QStringLiteral("&Database"), &frmMain::mnuNewDB_Click);
    mnuNewSampleDB = act(mnuNew, "mnuNewSampleDB", QStringLiteral("&Sample database"), &frmMain::mnuNewSampleDB_Click);
    mnuNew->addSeparator();
    mnuNewCategory = act(mnuNew, "mnuNewCategory", QStringLiteral("&Category"), &frmMain::mnuNewCategory_Click);
    mnuNew->addSeparator();
    mnuNewExcel = act(mnuNew, "mnuNewExcel", QStringLiteral("&Excel Report"), &frmMain::mnuNewExcel_Click);
    mnuOpen45 = act(mnuApplication, "mnuOpen45", QStringLiteral("O&pen DB"), &frmMain::mnuOpen45_Click);
    mnuSave = act(mnuApplication, "mnuSave", QStringLiteral("&Save"));
    mnuOptions = act(mnuApplication, "mnuOptions", QStringLiteral("&Options"), &frmMain::mnuOptions_Click);
    mnuExit = act(mnuApplication, "mnuExit", QStringLiteral("&Exit"), &frmMain::mnuExit_Click);

    mnuEdit = menu("mnuEdit", QStringLiteral("&Edit"));
    mnuCut = act(mnuEdit, "mnuCut", QStringLiteral("&Cut"), &frmMain::mnuCut_Click);
    mnuCut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    mnuCopy = act(mnuEdit, "mnuCopy", QStringLiteral("C&opy"), &frmMain::mnuCopy_Click);
    mnuCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    mnuPaste = act(mnuEdit, "mnuPaste", QStringLiteral("&Paste"), &frmMain::mnuPaste_Click);
    mnuPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    for (QAction *a : {mnuCut, mnuCopy, mnuPaste})
        a->setShortcutContext(Qt::WindowShortcut);
    mnuDelete = act(mnuEdit, "mnuDelete", QStringLiteral("&Delete"), &frmMain::mnuRDelete_Click);
    mnuCheckIn1 = act(mnuEdit, "mnuCheckIn1", QStringLiteral("Check In"), &frmMain::mnuCheckIn_Click);
    mnuCheckOut1 = act(mnuEdit, "mnuCheckOut1", QStringLiteral("Check Out"), &frmMain::mnuCheckOut_Click);
    mnuWorkingFiles1 = act(mnuEdit, "mnuWorkingFiles1", QStringLiteral("Working Files"), &frmMain::mnuWorkingFiles_Click);
    connect(mnuEdit, &QMenu::aboutToShow, this, &frmMain::mnuEdit_Click);

    mnuView = menu("mnuView", QStringLiteral("&View"));
    mnuFind = act(mnuView, "mnuFind", QStringLiteral("&Find"));
    mnuViewRefresh = act(mnuView, "mnuViewRefresh", QStringLiteral("&Refresh"), &frmMain::mnuViewRefresh_Click);
    mnuViewRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    mnuViewProp = act(mnuView, "mnuViewProp", QStringLiteral("&Properties"), &frmMain::mnuViewProp_Click);
    mnuViewProp->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});

    mnuTools = menu("mnuTools", QStringLiteral("&Tools"));
    mnuDSN = act(mnuTools, "mnuDSN", QStringLiteral("&DSN"), &frmMain::mnuDSN_Click);
    mnuMacro = act(mnuTools, "mnuMacro", QStringLiteral("&Macro Editor"), &frmMain::mnuMacro_Click);
    mnuRights = act(mnuTools, "mnuRights", QStringLiteral("&User rights"), &frmMain::mnuRights_Click);
    mnuUserRep = act(mnuTools, "mnuUserRep", QStringLiteral("User &reports"), &frmMain::mnuUserRep_Click);
    mnuImport = act(mnuTools, "mnuImport", QStringLiteral("&Import reports"), &frmMain::mnuImport_Click);
    mnuExport = act(mnuTools, "mnuExport", QStringLiteral("&Export reports"), &frmMain::mnuExport_Click);
    QAction *mnuTransferLog = act(mnuTools, "mnuTransferLog", QStringLiteral("Transfer history"));
    connect(mnuTransferLog, &QAction::triggered, this, [this] { ShowTransferLog(this); });

    mnuQSearch = menu("mnuQSearch", QStringLiteral("&Quick Search"));
    mnuQSearch->addAction(QStringLiteral("&Search"));
    QMenu *qsNew = mnuQSearch->addMenu(QStringLiteral("&New"));
    qsNew->addAction(QStringLiteral("&Search Category"));
    qsNew->addAction(QStringLiteral("Quick Search"));
    mnuQSearch->addAction(QStringLiteral("&Delete"));
    mnuQSearch->addAction(QStringLiteral("&Properties"));

    mnuHelp = menu("mnuHelp", QStringLiteral("&Help"));
    mnuZATHelp = act(mnuHelp, "mnuZATHelp", QStringLiteral("&Contents"));
    mnuAboutUs = act(mnuHelp, "mnuAboutUs", QStringLiteral("&About Velmora"), &frmMain::mnuAboutUs_Click);

    for (QMenu *m : {mnuApplication, mnuEdit, mnuView, mnuTools, mnuQSearch, mnuHelp})
        menuBar()->addMenu(m);

    // Report row
    mnuFile = menu("mnuFile", QStringLiteral("mnuFile"));
    mnuOpNewRep = act(mnuFile, "mnuOpNewRep", QStringLiteral("Create new report"), &frmMain::mnuOpNewRep_Click);
    mnuOpExRep = act(mnuFile, "mnuOpExRep", QStringLiteral("Create report in existing workbook"), &frmMain::mnuOpExRep_Click);
    mnuOpNewRep->setCheckable(true);
    mnuOpExRep->setCheckable(true);
    // The marks show the double-click mode, which only Options changes: using an entry must not
    // flip its mark.
    for (QAction *a : {mnuOpNewRep, mnuOpExRep})
        connect(a, &QAction::triggered, this, [this] {
            mnuOpExRep->setChecked(App::OpenInExistingWorkbook);
            mnuOpNewRep->setChecked(!App::OpenInExistingWorkbook);
        });
    sepWorkbook1 = mnuFile->addSeparator();
    mnuProcessRep = act(mnuFile, "mnuProcessRep", QStringLiteral("Process Report"), &frmMain::mnuProcessRep_Click);
    sepWorkbook2 = mnuFile->addSeparator();
    mnuRCut = act(mnuFile, "mnuRCut", QStringLiteral("&Cut"), &frmMain::mnuCut_Click);
    mnuRCopy = act(mnuFile, "mnuRCopy", QStringLiteral("C&opy"), &frmMain::mnuCopy_Click);
    mnuRPaste = act(mnuFile, "mnuRPaste", QStringLiteral("&Paste"), &frmMain::mnuPaste_Click);
    mnuFile->addSeparator();
    mnuRDelete = act(mnuFile, "mnuRDelete", QStringLiteral("&Delete"), &frmMain::mnuRDelete_Click);
    mnuFile->addSeparator();
    mnuCheckIn = act(mnuFile, "mnuCheckIn", QStringLiteral("Check In"), &frmMain::mnuCheckIn_Click);
    mnuCheckOut = act(mnuFile, "mnuCheckOut", QStringLiteral("Check Out"), &frmMain::mnuCheckOut_Click);
    mnuWorkingFiles = act(mnuFile, "mnuWorkingFiles", QStringLiteral("Working Files"), &frmMain::mnuWorkingFiles_Click);
    mnuFile->addSeparator();
    mnuDrepturi = act(mnuFile, "mnuDrepturi", QStringLiteral("&User rights"), &frmMain::mnuRights_Click);
    mnuFile->addSeparator();
    mnuRepProp = act(mnuFile, "mnuRepProp", QStringLiteral("Properties"), &frmMain::mnuRepProp_Click);

    // Category row
    mnuCategory = menu("mnuCategory", QStringLiteral("mnuCategory"));
    mnuOpen = act(mnuCategory, "mnuOpen", QStringLiteral("Open"), &frmMain::mnuOpen_Click);
    mnuCategory->addSeparator();
    mnuCatCut = act(mnuCategory, "mnuCatCut", QStringLiteral("&Cut"), &frmMain::mnuCut_Click);
    mnuCatCopy = act(mnuCategory, "mnuCatCopy", QStringLiteral("C&opy"), &frmMain::mnuCopy_Click);
    mnuCatPaste = act(mnuCategory, "mnuCatPaste", QStringLiteral("&Paste"), &frmMain::mnuPaste_Click);
    mnuCategory->addSeparator();
    mnuCDelete = act(mnuCategory, "mnuCDelete", QStringLiteral("&Delete"), &frmMain::mnuRDelete_Click);
    mnuCategory->addSeparator();
    mnuCatProp = act(mnuCategory, "mnuCatProp", QStringLiteral("Properties"), &frmMain::mnuCatProp_Click);

    // Tree node
    mnuCategory2 = menu("mnuCategory2", QStringLiteral("mnuCategory2"));
    mnuOpen2 = act(mnuCategory2, "mnuOpen2", QStringLiteral("&Open"), &frmMain::mnuOpen2_Click);
    mnuCategory2->addSeparator();
    mnuCat1Cut = act(mnuCategory2, "mnuCat1Cut", QStringLiteral("&Cut"), &frmMain::mnuCut_Click);
    mnuCat1Copy = act(mnuCategory2, "mnuCat1Copy", QStringLiteral("C&opy"), &frmMain::mnuCopy_Click);
    mnuCat1Paste = act(mnuCategory2, "mnuCat1Paste", QStringLiteral("&Paste"), &frmMain::mnuPaste_Click);
    sepCat1Paste = mnuCategory2->addSeparator();
    mnuCCDelete = act(mnuCategory2, "mnuCCDelete", QStringLiteral("&Delete"), &frmMain::mnuRDelete_Click);
    mnuCategory2->addSeparator();
    mnuCateg2Prop = act(mnuCategory2, "mnuCateg2Prop", QStringLiteral("&Properties"), &frmMain::mnuCateg2Prop_Click);

    // Empty list area
    mnuOthers = menu("mnuOthers", QStringLiteral("mnuOthers"));
    mnuOFind = act(mnuOthers, "mnuOFind", QStringLiteral("&Find"));
    mnuOthers->addSeparator();
    mnuLPaste = act(mnuOthers, "mnuLPaste", QStringLiteral("&Paste"), &frmMain::mnuPaste_Click);
    mnuOthers->addSeparator();
    mnuORefresh = act(mnuOthers, "mnuORefresh", QStringLiteral("&Refresh"), &frmMain::mnuViewRefresh_Click);
    mnuOthers->addSeparator();
    mnuONew = menu("mnuONew", QStringLiteral("&New"), mnuOthers);
    mnuONewCategory = act(mnuONew, "mnuONewCategory", QStringLiteral("&Category"), &frmMain::mnuNewCategory_Click);
    mnuONew->addSeparator();
    mnuONewExcelRep = act(mnuONew, "mnuONewExcelRep", QStringLiteral("&Excel Report"), &frmMain::mnuNewExcel_Click);
    sepImportDocs = mnuOthers->addSeparator();
    mnuImportDocs = act(mnuOthers, "mnuImportDocs", QStringLiteral("&Import"), &frmMain::mnuImportDocs_Click);

    // Recycle bin row
    mnuDelItem = menu("mnuDelItem", QStringLiteral("mnuDelItem"));
    mnuRestoreItem = act(mnuDelItem, "mnuRestoreItem", QStringLiteral("&Restore"), &frmMain::mnuRestoreItem_Click);
    mnuDelItem->addSeparator();
    mnuDelItemProp = act(mnuDelItem, "mnuDelItemProp", QStringLiteral("&Properties"), &frmMain::mnuDelItemProp_Click);
}

void frmMain::buildToolbar()
{
    Toolbar1 = addToolBar(QStringLiteral("Toolbar1"));
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setIconSize(QSize(16, 16));
    struct Button {
        const char *key;
        const char *tip;
        int image;
    };
    const Button buttons[] = {
        {"Exit", "Exit", 0},         {"keyOpen", "Open database", 25}, {"keySave", "Save", 0},
        {"Cut", "Cut", 0},           {"Copy", "Copy", 0},              {"Paste", "Paste", 0},
        {"Delete", "Delete", 26},    {"Refresh", "Refresh", 0},        {"Find", "Find", 11},
        {"Properties", "Properties", 0}, {"DSN", "DSN", 8},            {"keyMacro", "Macro Editor", 9},
        {"keyUsers", "User rights", 30}, {"keyUserRep", "User / Reports", 13}, {"keyImport", "Import reports", 21},
        {"keyExport", "Export reports", 15}, {"keyHelp", nullptr, 0},
    };
    Toolbar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const Button &b : buttons) {
        const QString key = QLatin1String(b.key);
        // The caption doubles as the tooltip; a button without one has an empty caption too.
        QAction *a = Toolbar1->addAction(b.image ? ImageList1::icon(b.image) : ImageList1::toolbarIcon(key),
                                         b.tip ? QString::fromLatin1(b.tip) : QString());
        a->setObjectName(key);
        a->setData(key);
        a->setToolTip(b.tip ? QString::fromLatin1(b.tip) : QString());
        connect(a, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
        if (key == QLatin1String("keySave") || key == QLatin1String("Paste") || key == QLatin1String("Refresh")
            || key == QLatin1String("Properties") || key == QLatin1String("keyUserRep"))
            Toolbar1->addSeparator();
    }
}

void frmMain::Toolbar1_ButtonClick(const QString &key)
{
    RunCommand(QStringLiteral("Toolbar1_ButtonClick()"), [&] {
        static const QHash<QString, void (frmMain::*)()> commands = {
            {QStringLiteral("Exit"), &frmMain::mnuExit_Click},
            {QStringLiteral("keyOpen"), &frmMain::mnuOpen45_Click},
            {QStringLiteral("Cut"), &frmMain::mnuCut_Click},
            {QStringLiteral("Copy"), &frmMain::mnuCopy_Click},
            {QStringLiteral("Paste"), &frmMain::mnuPaste_Click},
            {QStringLiteral("Delete"), &frmMain::mnuRDelete_Click},
            {QStringLiteral("Refresh"), &frmMain::mnuViewRefresh_Click},
            {QStringLiteral("Properties"), &frmMain::mnuViewProp_Click},
            {QStringLiteral("DSN"), &frmMain::mnuDSN_Click},
            {QStringLiteral("keyMacro"), &frmMain::mnuMacro_Click},
            {QStringLiteral("keyUsers"), &frmMain::mnuRights_Click},
            {QStringLiteral("keyUserRep"), &frmMain::mnuUserRep_Click},
            {QStringLiteral("keyImport"), &frmMain::mnuImport_Click},
            {QStringLiteral("keyExport"), &frmMain::mnuExport_Click},
        };
        auto it = commands.constFind(key);
        if (it != commands.cend())
            (this->*it.value())();
    });
}

void frmMain::Form_Load()
{
    mnuQSearch->menuAction()->setVisible(false);
    mnuImportDocs->setVisible(true);
    sepImportDocs->setVisible(true);
    RunCommand(QStringLiteral("modMain.Form_Load()"), [this] {
        const int mode = GetSetting(QStringLiteral("DB"), QStringLiteral("ExistingReport"), QStringLiteral("0")).toInt();
        App::OpenInExistingWorkbook = mode == 1;
        mnuOpExRep->setChecked(App::OpenInExistingWorkbook);
        mnuOpNewRep->setChecked(!App::OpenInExistingWorkbook);
        LoadCateg(RootKey);
        if (QTreeWidgetItem *node = selectedNode())
            twRep_NodeClick(node);
    });
}

// ---- panels, focus, selection helpers

void frmMain::setPanelText(int panel, const QString &text)
{
    if (panel >= 1 && panel <= m_panels.size())
        m_panels[panel - 1]->setText(text);
}

QString frmMain::panelText(int panel) const
{
    return panel >= 1 && panel <= m_panels.size() ? m_panels[panel - 1]->text() : QString();
}

bool frmMain::listHasFocus() const { return m_focusView == lstRep; }
bool frmMain::treeHasFocus() const { return m_focusView == twRep; }

QTreeWidgetItem *frmMain::selectedNode() const
{
    QTreeWidgetItem *node = twRep->currentItem();
    return node && node->isSelected() ? node : nullptr;
}

QString frmMain::selectedNodeKey() const { return ItemData::key(selectedNode()); }

QTreeWidgetItem *frmMain::selectedListItem() const
{
    QTreeWidgetItem *item = lstRep->currentItem();
    if (item && item->isSelected())
        return item;
    const auto selected = lstRep->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

int frmMain::selectedReportId() const
{
    const QString key = ItemData::key(selectedListItem());
    return kindOf(key) == QLatin1Char('r') ? ItemData::idOfKey(key) : 0;
}

QString frmMain::fullPath(QTreeWidgetItem *node) const
{
    QStringList parts;
    for (; node; node = node->parent())
        parts.prepend(node->text(0));
    return parts.join(QLatin1Char('\\'));
}

void frmMain::selectNode(QTreeWidgetItem *node)
{
    ++m_programmaticSelect;
    twRep->setCurrentItem(node);
    if (node)
        node->setSelected(true);
    --m_programmaticSelect;
}

void frmMain::setNodeImages(QTreeWidgetItem *node, int image, int selectedImage)
{
    node->setData(0, ImageRole, image);
    node->setData(0, SelectedImageRole, selectedImage);
    QIcon icon = ImageList1::icon(image);
    if (selectedImage != image)
        icon.addPixmap(ImageList1::icon(selectedImage).pixmap(16, 16), QIcon::Selected);
    node->setIcon(0, icon);
}

// ---- tree

QTreeWidgetItem *frmMain::addNode(int id, int parent, const QString &name, bool warnMissingParent)
{
    QTreeWidgetItem *parentNode = nullptr;
    if (parent != 0) {
        parentNode = m_nodes.value(QStringLiteral("c%1").arg(parent));
        if (!parentNode) {
            // A category whose parent is not in the tree would make the whole tree unloadable.
            if (warnMissingParent)
                prompter().message(QStringLiteral("Eroare la categoria ") + displayName(name) + QStringLiteral(" cu ID - ul ")
                                       + QString::number(id) + QStringLiteral(" si parintele ") + QString::number(parent)
                                       + QStringLiteral("!"),
                                   QStringLiteral("ZAT"), Prompter::Icon::Exclamation);
            return nullptr;
        }
    }
    auto *node = parentNode ? new QTreeWidgetItem(parentNode) : new QTreeWidgetItem(twRep);
    const QString key = QStringLiteral("c%1").arg(id);
    ItemData::setKey(node, key);
    node->setText(0, displayName(name));
    if (id == 1)
        setNodeImages(node, 30, 30);
    else if (id == 2)
        setNodeImages(node, 26, 26);
    else
        setNodeImages(node, 24, 25);
    if (id != 1 && id != 2)
        node->setFlags(node->flags() | Qt::ItemIsEditable);
    m_nodes.insert(key, node);
    return node;
}

void frmMain::LoadCateg(const QString &nodeKey)
{
    ClearViews();
    const auto categories = App::session().GetCategoryList(-1, RepositorySession::Live);
    for (const CategoryItem &c : categories)
        addNode(c.IdCategory, c.IdParent, c.Name, true);
    QTreeWidgetItem *node = m_nodes.value(nodeKey);
    if (!node)
        return;
    selectNode(node);
    twRep->scrollToItem(node);
    node->setExpanded(true);
    const int id = ItemData::idOfKey(nodeKey);
    LoadSubCategories(id);
    LoadReports(id);
    txtRep->setText(fullPath(node));
}

void frmMain::ClearViews()
{
    txtRep->clear();
    ++m_programmaticSelect;
    twRep->clear();
    --m_programmaticSelect;
    m_nodes.clear();
    lstRep->clear();
}

void frmMain::RefreshMe()
{
    RunCommand(QStringLiteral("modMain.RefreshMe()"), [this] {
        BusyCursor busy;
        const auto panels = StatusPanels(App::session());
        setPanelText(2, panels.first);
        setPanelText(3, panels.second);
        txtRep->clear();
        if (twRep->topLevelItemCount() > 0) {
            const QString nodeKey = selectedNodeKey();
            const QString listKey = ItemData::key(selectedListItem());
            QSet<QString> expanded;
            for (auto it = m_nodes.cbegin(); it != m_nodes.cend(); ++it)
                if (it.value()->isExpanded())
                    expanded.insert(it.key());
            ClearViews();
            QCoreApplication::processEvents();
            const auto categories = App::session().GetCategoryList(-1, RepositorySession::Live);
            for (const CategoryItem &c : categories)
                if (QTreeWidgetItem *node = addNode(c.IdCategory, c.IdParent, c.Name, true))
                    if (expanded.contains(ItemData::key(node)))
                        node->setExpanded(true);
            if (!nodeKey.isEmpty()) {
                QTreeWidgetItem *node = m_nodes.value(nodeKey);
                if (!node)
                    node = m_nodes.value(RootKey);
                if (node) {
                    selectNode(node);
                    twRep->scrollToItem(node);
                    const int id = ItemData::idOfKey(ItemData::key(node));
                    if (id == 2) {
                        LoadRecycleBin();
                    } else {
                        LoadSubCategories(id);
                        LoadReports(id);
                    }
                }
                if (!listKey.isEmpty()) {
                    lstRep->clearSelection();
                    for (int i = 0; i < lstRep->topLevelItemCount(); ++i) {
                        QTreeWidgetItem *item = lstRep->topLevelItem(i);
                        if (ItemData::key(item) == listKey) {
                            lstRep->setCurrentItem(item);
                            item->setSelected(true);
                            break;
                        }
                    }
                }
            } else if (QTreeWidgetItem *root = m_nodes.value(RootKey)) {
                selectNode(root);
            }
        } else {
            // Nothing shown yet (an earlier load failed, or another repository was opened):
            // a refresh shows the repository from its root.
            LoadCateg(RootKey);
        }
        if (QTreeWidgetItem *node = selectedNode())
            txtRep->setText(fullPath(node));
        ShowCounts();
    });
}

void frmMain::ShowCounts()
{
    int categories = 0, reports = 0;
    for (int i = 0; i < lstRep->topLevelItemCount(); ++i) {
        if (kindOf(ItemData::key(lstRep->topLevelItem(i))) == QLatin1Char('r'))
            ++reports;
        else
            ++categories;
    }
    setPanelText(1, QStringLiteral("No. Categories : ") + QString::number(categories) + QStringLiteral("  /  No. Reports : ")
                        + QString::number(reports));
}

void frmMain::twRep_NodeClick(QTreeWidgetItem *node)
{
    if (!node)
        return;
    RunCommand(QStringLiteral("modMain.twRep_NodeClick()"), [&] {
        if (!node->isSelected())
            selectNode(node);
        LoadListView(ItemData::idOfKey(ItemData::key(node)));
    });
}

// ---- list

QTreeWidgetItem *frmMain::newListItem(const QString &key, const QString &name, int image)
{
    auto *item = new QTreeWidgetItem;
    ItemData::setKey(item, key);
    item->setText(0, displayName(name));
    item->setData(0, ImageRole, ImageList1::normalised(image));
    item->setIcon(0, ImageList1::icon(image));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
    return item;
}

void frmMain::addListItems(const QList<QTreeWidgetItem *> &items)
{
    // One sort for the whole batch instead of one placement per row.
    lstRep->setSortingEnabled(false);
    lstRep->header()->setSectionsClickable(true);
    lstRep->addTopLevelItems(items);
    if (m_sortOn) {
        lstRep->header()->setSortIndicator(m_sortColumn, m_sortOrder);
        lstRep->setSortingEnabled(true);
    }
    // Names, paths and dates are read whole, not cut off at a fixed width.
    for (int c = 0; c < lstRep->columnCount(); ++c)
        lstRep->resizeColumnToContents(c);
}

void frmMain::LoadListView(int id)
{
    RunCommand(QStringLiteral("LoadListView()"), [&] {
        BusyCursor busy;
        lstRep->clear();
        if (id == 2) {
            LoadRecycleBin();
        } else {
            LoadSubCategories(id);
            LoadReports(id);
        }
        if (QTreeWidgetItem *node = selectedNode())
            txtRep->setText(fullPath(node));
    });
}

void frmMain::LoadSubCategories(int id)
{
    RunCommand(QStringLiteral("frmMain.LoadSubCategories()"), [&] {
        const CategoryRows rows = App::session().GetSubCategoryRows(id);
        QList<QTreeWidgetItem *> items;
        items.reserve(rows.size());
        for (const CategoryRow &r : rows)
            items.append(newListItem(QStringLiteral("c%1").arg(r.IdCateg), r.Name, 24));
        addListItems(items);
        setPanelText(1, QStringLiteral("No. Categories : ") + QString::number(rows.size()));
    });
}

void frmMain::LoadReports(int id)
{
    RunCommand(QStringLiteral("frmMain.LoadReports()"), [&] {
        const ReportRows rows = App::session().GetReportRows(id);
        QList<QTreeWidgetItem *> items;
        items.reserve(rows.size());
        for (const ReportRow &r : rows) {
            QTreeWidgetItem *item = newListItem(QStringLiteral("r%1").arg(r.IdReport), r.Name, r.IdExtension ? r.IdExtension : 18);
            item->setText(1, r.FilePath);
            item->setText(2, r.Version);
            item->setText(3, dateText(r.Modified));
            QString holder = r.UserFName.isNull() ? QString("") : r.UserFName;
            if (!r.UserLName.isNull())
                holder += QStringLiteral(" ") + r.UserLName;
            item->setText(4, holder);
            items.append(item);
        }
        addListItems(items);
        if (!panelText(1).isEmpty())
            setPanelText(1, panelText(1) + QStringLiteral("  /  No. Reports : ") + QString::number(rows.size()));
    });
}

void frmMain::LoadRecycleBin()
{
    RunCommand(QStringLiteral("frmMain.LoadRecycleBin()"), [&] {
        RepositorySession &s = App::session();
        QTreeWidgetItem *bin = m_nodes.value(BinKey);
        QList<QTreeWidgetItem *> items;
        const auto categories = s.GetCategoryList(-1, RepositorySession::Deleted);
        if (!categories.isEmpty() && bin)
            setNodeImages(bin, 6, 6);
        QString panel = QStringLiteral("No. Categories : ") + QString::number(categories.size());
        for (const CategoryItem &c : categories)
            items.append(newListItem(QStringLiteral("c%1").arg(c.IdCategory), c.Name, 1));
        const auto reports = s.GetReportList(-1, RepositorySession::Deleted);
        if (!reports.isEmpty() && bin)
            setNodeImages(bin, 6, 6);
        panel += QStringLiteral("  /  No. Reports : ") + QString::number(reports.size());
        for (const ReportItem &r : reports) {
            const int image = r.Version == QLatin1String("Text") ? 5 : r.Version == QLatin1String("Excel") ? 10 : 18;
            QTreeWidgetItem *item = newListItem(QStringLiteral("r%1").arg(r.IdReport), r.Name, image);
            item->setText(1, r.FilePath);
            item->setText(2, r.Version);
            item->setText(3, dateText(r.Modified));
            items.append(item);
        }
        setPanelText(1, panel);
        addListItems(items);
    });
}

void frmMain::lstRep_ColumnClick(int column)
{
    // Once on, sorting stays on: later listings and added rows are placed by it.
    m_sortOn = true;
    lstRep->clearSelection();
    m_sortColumn = column;
    m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    lstRep->header()->setSortIndicator(m_sortColumn, m_sortOrder);
    lstRep->setSortingEnabled(true);
}

bool frmMain::lstRep_KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (!selectedNode())
        return false;
    bool handled = false;
    RunCommand(QStringLiteral("modMain.lstRep_KeyDown()"), [&] {
        const bool inBin = selectedNodeKey() == BinKey;
        if (key == Qt::Key_A && (modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) == Qt::ControlModifier) {
            lstRep->selectAll();
            handled = true;
        } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !(modifiers & Qt::AltModifier)) {
            QTreeWidgetItem *item = selectedListItem();
            if (!item)
                return;
            handled = true;
            const QString k = ItemData::key(item);
            if (inBin) {
                mnuDelItemProp_Click();
            } else if (kindOf(k) == QLatin1Char('c')) {
                const int id = ItemData::idOfKey(k);
                QTreeWidgetItem *node = m_nodes.value(QStringLiteral("c%1").arg(id));
                if (node) {
                    selectNode(node);
                    twRep->scrollToItem(node);
                }
                LoadListView(id);
            } else if (kindOf(k) == QLatin1Char('r')) {
                BusyCursor busy;
                OpenReportOnEnter(ItemData::idOfKey(k));
            }
        } else if (key == Qt::Key_Delete) {
            handled = true;
            if (inBin)
                EmptyRecycleBin();
            else
                mnuRDelete_Click();
        }
    });
    return handled;
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn && (watched == lstRep || watched == twRep))
        m_focusView = static_cast<QWidget *>(watched);
    // Keys that a label editor lets through (Enter ends the edit) are not commands.
    if (event->type() == QEvent::KeyPress && m_editing == 0) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool menuKey = key->key() == Qt::Key_Menu || (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
        if (menuKey && (watched == lstRep || watched == twRep)) {
            auto *view = static_cast<QTreeWidget *>(watched);
            m_focusView = view;
            QTreeWidgetItem *item = view == lstRep ? selectedListItem() : selectedNode();
            const QPoint at = item ? view->visualItemRect(item).center() : QPoint(view->viewport()->width() / 2, 0);
            if (view == lstRep)
                showListMenu(item, view->viewport()->mapToGlobal(at));
            else if (item)
                showTreeMenu(item, view->viewport()->mapToGlobal(at));
            return true;
        }
        // F2 renames the row, whichever of its cells is current.
        if (watched == lstRep && key->key() == Qt::Key_F2 && key->modifiers() == Qt::NoModifier) {
            if (QTreeWidgetItem *item = selectedListItem())
                lstRep->editItem(item, 0);
            return true;
        }
        if (watched == lstRep) {
            m_focusView = lstRep;
            if (lstRep_KeyDown(key->key(), key->modifiers()))
                return true;
        } else if (watched == twRep && key->key() == Qt::Key_Delete) {
            m_focusView = twRep;
            mnuRDelete_Click();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        const QPoint pos = static_cast<QMouseEvent *>(event)->position().toPoint();
        if (watched == lstRep->viewport()) {
            m_focusView = lstRep;
            lstRep_MouseUp(pos);
            return true;
        }
        if (watched == twRep->viewport()) {
            m_focusView = twRep;
            twRep_MouseUp(pos);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- context menus

void frmMain::setCheckEntries(QAction *checkIn, QAction *checkOut, bool fromContextMenu)
{
    QTreeWidgetItem *item = selectedListItem();
    const bool reportRow = item && kindOf(ItemData::key(item)) == QLatin1Char('r');
    if (!fromContextMenu && (!listHasFocus() || !item)) {
        checkIn->setEnabled(false);
        checkOut->setEnabled(false);
        return;
    }
    if (!item)
        return;
    const bool held = !item->text(4).isEmpty();
    checkOut->setEnabled(!held);
    if (!held)
        checkIn->setEnabled(false);
    else
        checkIn->setEnabled(!fromContextMenu || (reportRow && !App::session().IsCheckedOutByOther(ItemData::idOfKey(ItemData::key(item)))));
}

void frmMain::lstRep_MouseUp(const QPoint &pos)
{
    showListMenu(lstRep->itemAt(pos), lstRep->viewport()->mapToGlobal(pos));
}

void frmMain::showListMenu(QTreeWidgetItem *item, const QPoint &globalPos)
{
    RunCommand(QStringLiteral("lstRep_MouseUp"), [&] {
        if (item) {
            if (!item->isSelected()) {
                lstRep->clearSelection();
                item->setSelected(true);
            }
            lstRep->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        } else {
            lstRep->clearSelection();
        }
        const QString nodeKey = selectedNodeKey();
        QMenu *menu = nullptr;
        const QChar kind = kindOf(ItemData::key(item));
        if (item && kind == QLatin1Char('r')) {
            if (nodeKey.isEmpty())
                return;
            if (nodeKey == BinKey) {
                menu = mnuDelItem;
            } else {
                mnuRPaste->setEnabled(IsOurClipboard());
                setCheckEntries(mnuCheckIn, mnuCheckOut, true);
                const bool own = item->text(2) == RepositorySession::VelmoraReportType();
                for (QAction *a : {mnuOpNewRep, mnuOpExRep, mnuProcessRep, sepWorkbook1, sepWorkbook2})
                    a->setVisible(own);
                menu = mnuFile;
            }
        } else if (item) {
            if (nodeKey.isEmpty())
                return;
            if (nodeKey == BinKey) {
                menu = mnuDelItem;
            } else {
                mnuCatPaste->setEnabled(IsOurClipboard());
                menu = mnuCategory;
            }
        } else {
            if (nodeKey.isEmpty() || nodeKey == BinKey)
                return;
            mnuLPaste->setEnabled(IsOurClipboard());
            menu = mnuOthers;
        }
        menu->popup(globalPos);
    });
}

void frmMain::twRep_MouseUp(const QPoint &pos)
{
    showTreeMenu(twRep->itemAt(pos), twRep->viewport()->mapToGlobal(pos));
}

void frmMain::showTreeMenu(QTreeWidgetItem *node, const QPoint &globalPos)
{
    RunCommand(QStringLiteral("modMain.twRep_MouseUp()"), [&] {
        if (!node)
            return;
        selectNode(node);
        const QString key = ItemData::key(node);
        if (key == RootKey)
            return;
        const bool bin = key == BinKey;
        for (QAction *a : {mnuCat1Cut, mnuCat1Copy, mnuCat1Paste, sepCat1Paste})
            a->setVisible(!bin);
        if (bin) {
            mnuCCDelete->setText(QStringLiteral("Empty Recycle Binn"));
            mnuCCDelete->setEnabled(!App::session().IsRecycleBinEmpty());
        } else {
            mnuCCDelete->setText(QStringLiteral("Delete"));
            mnuCCDelete->setEnabled(true);
            mnuCat1Paste->setEnabled(IsOurClipboard());
        }
        mnuCategory2->popup(globalPos);
    });
}

void frmMain::mnuEdit_Click() { setCheckEntries(mnuCheckIn1, mnuCheckOut1, false); }

// ---- commands

void frmMain::mnuViewRefresh_Click() { RefreshMe(); }

void frmMain::mnuOpen_Click()
{
    lstRep_DblClick(selectedListItem());
}

void frmMain::mnuOpen2_Click()
{
    QTreeWidgetItem *node = selectedNode();
    if (!node)
        return;
    node->setExpanded(true);
    LoadListView(ItemData::idOfKey(ItemData::key(node)));
}

void frmMain::lstRep_DblClick(QTreeWidgetItem *item)
{
    RunCommand(QStringLiteral("modMain.lstRep_DblClick()"), [&] {
        if (!item)
            return;
        if (!item->isSelected()) {
            lstRep->clearSelection();
            item->setSelected(true);
        }
        lstRep->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        if (selectedNodeKey() == BinKey) {
            mnuDelItemProp_Click();
            return;
        }
        const QString key = ItemData::key(item);
        const int id = ItemData::idOfKey(key);
        if (kindOf(key) == QLatin1Char('c')) {
            LoadListView(id);
            if (QTreeWidgetItem *node = m_nodes.value(key)) {
                selectNode(node);
                twRep->scrollToItem(node);
                if (id > 0)
                    txtRep->setText(fullPath(node));
            }
        } else if (kindOf(key) == QLatin1Char('r')) {
            OpenReportByMode(id);
        }
    });
}

QString frmMain::CreateCategName(int parent, const QString &base)
{
    QString result;
    RunCommand(QStringLiteral("CreateCategName()"), [&] {
        result = App::session().UniqueCategoryName(parent, base);
    });
    return result;
}

QString frmMain::CreateReportName(int category, const QString &base)
{
    QString result;
    RunCommand(QStringLiteral("CreateReportName()"), [&] {
        result = App::session().UniqueReportName(category, base);
    });
    return result;
}

void frmMain::startListEdit(QTreeWidgetItem *item)
{
    lstRep->setFocus();
    m_focusView = lstRep;
    lstRep->clearSelection();
    lstRep->setCurrentItem(item);
    item->setSelected(true);
    lstRep->scrollToItem(item);
    lstRep->editItem(item, 0);
}

void frmMain::mnuNewCategory_Click()
{
    RunCommand(QStringLiteral("modMain.mnuNewCategory_Click()"), [&] {
        QTreeWidgetItem *node = selectedNode();
        // Nothing is created inside the recycle bin: it only holds deleted items.
        if (!node || ItemData::key(node) == BinKey)
            return;
        const int parent = ItemData::idOfKey(ItemData::key(node));
        const QString name = CreateCategName(parent, QStringLiteral("New Category"));
        if (name.isEmpty())
            return;
        const CategoryItem c = App::session().NewCategory(parent, name);
        addNode(c.IdCategory, parent, name, false);
        QTreeWidgetItem *item = newListItem(QStringLiteral("c%1").arg(c.IdCategory), name, 24);
        lstRep->clearSelection();
        addListItems({item});
        ShowCounts();
        startListEdit(item);
    });
}

void frmMain::mnuNewExcel_Click()
{
    RunCommand(QStringLiteral("modMain.mnuNewExcel_Click()"), [&] {
        QTreeWidgetItem *node = selectedNode();
        // Nothing is created inside the recycle bin: it only holds deleted items.
        if (!node || ItemData::key(node) == BinKey)
            return;
        const int category = ItemData::idOfKey(ItemData::key(node));
        const QString name = CreateReportName(category, QStringLiteral("New Report"));
        if (name.isEmpty())
            return;
        const ReportItem r = App::session().NewReport(category, RepositorySession::KindVelmora, name);
        QTreeWidgetItem *item = newListItem(QStringLiteral("r%1").arg(r.IdReport), name, 17);
        item->setText(2, r.Version);
        item->setText(3, dateText(r.Modified));
        lstRep->clearSelection();
        addListItems({item});
        ShowCounts();
        startListEdit(item);
    });
}

bool frmMain::lstRep_AfterLabelEdit(QTreeWidgetItem *item, const QString &newText)
{
    bool accepted = false;
    RunCommand(QStringLiteral("modMain.lstRep_AfterLabelEdit()"), [&] {
        if (!item)
            return;
        if (newText.isEmpty()) {
            prompter().message(QStringLiteral("No 0-length string allowed!"), QStringLiteral("Error"), Prompter::Icon::Critical);
            return;
        }
        const QString key = ItemData::key(item);
        const int id = ItemData::idOfKey(key);
        if (kindOf(key) == QLatin1Char('c')) {
            if (newText.size() > 255) {
                prompter().message(QStringLiteral("The category name is too long ! (maximum 255 characters)"), AppTitle,
                                   Prompter::Icon::Exclamation);
                return;
            }
            CategoryItem c = App::session().GetCategory(id);
            if (App::session().CategoryNameExists(newText, c.IdParent, id)) {
                prompter().message(NameRule::categoryTakenText(), AppTitle, Prompter::Icon::Exclamation);
                return;
            }
            c.Name = newText;
            if (c.Save()) {
                accepted = true;
                if (QTreeWidgetItem *node = m_nodes.value(key))
                    node->setText(0, newText);
            }
        } else if (kindOf(key) == QLatin1Char('r')) {
            if (newText.size() > 255) {
                prompter().message(QStringLiteral("The report name is too long ! (maximum 255 characters)"), AppTitle,
                                   Prompter::Icon::Exclamation);
                return;
            }
            ReportItem r = App::session().GetReport(id);
            if (App::session().ReportNameExists(newText, r.IdCateg, id)) {
                prompter().message(NameRule::reportTakenText(), AppTitle, Prompter::Icon::Exclamation);
                return;
            }
            r.Name = newText;
            accepted = r.Save();
            if (accepted)
                item->setText(3, dateText(r.Modified));
        }
    });
    return accepted;
}

bool frmMain::twRep_AfterLabelEdit(QTreeWidgetItem *node, const QString &newText)
{
    bool accepted = false;
    RunCommand(QStringLiteral("modMain.twRep_AfterLabelEdit()"), [&] {
        const QString key = ItemData::key(node);
        if (!node || key == RootKey || key == BinKey)
            return;
        if (newText.isEmpty()) {
            prompter().message(QStringLiteral("No 0-length string allowed!"), QStringLiteral("Error"), Prompter::Icon::Critical);
            return;
        }
        CategoryItem c = App::session().GetCategory(ItemData::idOfKey(key));
        if (App::session().CategoryNameExists(newText, c.IdParent, c.IdCategory)) {
            prompter().message(NameRule::categoryTakenText(), AppTitle, Prompter::Icon::Exclamation);
            return;
        }
        c.Name = newText;
        c.Save();
        accepted = true;
        node->setText(0, newText);
        if (node->isSelected())
            txtRep->setText(fullPath(node));
    });
    return accepted;
}

void frmMain::collectSelection(QList<int> &reports, QList<int> &categories, bool ghost)
{
    for (int i = 0; i < lstRep->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lstRep->topLevelItem(i);
        if (!item->isSelected())
            continue;
        const QString key = ItemData::key(item);
        const QChar kind = kindOf(key);
        if (ghost) {
            item->setData(0, GhostRole, true);
            for (int c = 0; c < lstRep->columnCount(); ++c)
                item->setForeground(c, QBrush(Qt::gray));
        }
        if (kind == QLatin1Char('r'))
            reports.append(ItemData::idOfKey(key));
        else if (kind == QLatin1Char('c'))
            categories.append(ItemData::idOfKey(key));
    }
}

void frmMain::mnuRDelete_Click()
{
    RunCommand(QStringLiteral("frmMain.mnuRDelete_Click()"), [&] {
        QList<int> reports, categories;
        if (listHasFocus()) {
            if (selectedNodeKey() == BinKey) {
                EmptyRecycleBin();
                return;
            }
            collectSelection(reports, categories, false);
        } else if (treeHasFocus() && selectedNode()) {
            const QString key = selectedNodeKey();
            if (key == RootKey || kindOf(key) == QLatin1Char('r'))
                return;
            if (key == BinKey) {
                EmptyRecycleBin();
                return;
            }
            categories.append(ItemData::idOfKey(key));
        }
        if (reports.isEmpty() && categories.isEmpty())
            return;
        if (prompter().message(QStringLiteral("Are you sure you want to move\rselected items in to Recycle Bin ?"),
                               QStringLiteral("Confirmation"), Prompter::Icon::Question, Prompter::Buttons::YesNo)
            != Prompter::Answer::Yes)
            return;
        App::session().DeleteItems(reports, categories);
        RefreshMe();
    });
}

void frmMain::reloadAt(const QString &key)
{
    txtRep->clear();
    ClearViews();
    twRep->repaint();
    lstRep->repaint();
    LoadCateg(key);
    if (QTreeWidgetItem *node = m_nodes.value(key)) {
        selectNode(node);
        LoadListView(ItemData::idOfKey(key));
    }
    ShowCounts();
}

void frmMain::EmptyRecycleBin()
{
    RunCommand(QStringLiteral("frmMain.EmptyRecycleBin()"), [&] {
        RepositorySession &s = App::session();
        if (s.IsRecycleBinEmpty())
            return;
        if (prompter().message(QStringLiteral("Are you sure you want to empty the Recycle Binn ?"), QStringLiteral("Confirmation"),
                               Prompter::Icon::Question, Prompter::Buttons::YesNo)
            != Prompter::Answer::Yes)
            return;
        if (s.EmptyRecycleBin())
            reloadAt(BinKey);
    });
}

void frmMain::mnuRestoreItem_Click()
{
    RunCommand(QStringLiteral("mnuRestoreItem_Click()"), [&] {
        QList<int> reports, categories;
        collectSelection(reports, categories, false);
        if (App::session().RestoreItems(categories, reports))
            reloadAt(BinKey);
    });
}

bool frmMain::IsOurClipboard() const
{
    return App::session().IsOurClipboard(QGuiApplication::clipboard()->text());
}

void frmMain::mnuCut_Click()
{
    RunCommand(QStringLiteral("Cut"), [&] {
        QList<int> reports, categories;
        if (listHasFocus())
            collectSelection(reports, categories, true);
        else if (treeHasFocus() && selectedNode())
            categories.append(ItemData::idOfKey(selectedNodeKey()));
        QGuiApplication::clipboard()->setText(App::session().CutItems(reports, categories));
    });
}

void frmMain::mnuCopy_Click()
{
    RunCommand(QStringLiteral("Copy()"), [&] {
        QList<int> reports, categories;
        if (listHasFocus())
            collectSelection(reports, categories, false);
        else if (treeHasFocus() && selectedNode())
            categories.append(ItemData::idOfKey(selectedNodeKey()));
        QGuiApplication::clipboard()->setText(App::session().CopyItems(reports, categories));
    });
}

void frmMain::mnuPaste_Click()
{
    RunCommand(QStringLiteral("Paste"), [&] {
        BusyCursor busy;
        int target = 0;
        if (listHasFocus()) {
            QTreeWidgetItem *item = selectedListItem();
            if (item && kindOf(ItemData::key(item)) == QLatin1Char('c'))
                target = ItemData::idOfKey(ItemData::key(item));
            else if (selectedNode())
                target = ItemData::idOfKey(selectedNodeKey());
        } else if (treeHasFocus() && selectedNode()) {
            target = ItemData::idOfKey(selectedNodeKey());
        } else {
            return;
        }
        RepositorySession &s = App::session();
        if (RepositorySession::IsClipboardMarker(QGuiApplication::clipboard()->text()) && !IsOurClipboard()) {
            prompter().message(ForeignClipboardText, AppTitle, Prompter::Icon::Exclamation);
            return;
        }
        const QString clash = s.PasteNameClash(target);
        if (!clash.isEmpty()) {
            prompter().message(clash, AppTitle, Prompter::Icon::Exclamation);
            return;
        }
        if (s.PasteItems(target))
            RefreshMe();
    });
}

void frmMain::mnuCheckIn_Click()
{
    RunCommand(QStringLiteral("mnuCheckIn_Click()"), [&] {
        QTreeWidgetItem *item = selectedListItem();
        if (!listHasFocus() || !item || kindOf(ItemData::key(item)) != QLatin1Char('r'))
            return;
        const int id = ItemData::idOfKey(ItemData::key(item));
        if (App::session().IsCheckedOutByOther(id))
            return;
        App::session().CheckInReports({id});
        RefreshMe();
    });
}

void frmMain::mnuCheckOut_Click()
{
    RunCommand(QStringLiteral("mnuCheckOut_Click()"), [&] {
        QTreeWidgetItem *item = selectedListItem();
        if (!listHasFocus() || !item || kindOf(ItemData::key(item)) != QLatin1Char('r'))
            return;
        App::session().CheckOutReports({ItemData::idOfKey(ItemData::key(item))}, false);
        RefreshMe();
    });
}

void frmMain::closeEvent(QCloseEvent *event)
{
    try {
        SaveWindowPlacement(this);
    } catch (...) {
    }
    event->accept();
}

void frmMain::mnuNewDB_Click() { NewDatabaseCommand(this); }
void frmMain::mnuNewSampleDB_Click() { NewSampleDatabaseCommand(this); }
void frmMain::mnuOpen45_Click() { OpenDatabaseCommand(this); }
void frmMain::mnuExit_Click() { ExitCommand(this); }
void frmMain::mnuAboutUs_Click() { AboutCommand(); }
