#include "frmImport.h"
#include "shell/Controls.h"

#include "navigator/frmMain.h"
#include "repository/AppError.h"
#include "repository/PackageFile.h"
#include "repository/RepositorySession.h"
#include "repository/Schema.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "transfer/export/ui/frmExportDSN.h"
#include "transfer/export/ui/frmExportMacros.h"
#include "transfer/import/ImportPlan.h"
#include "transfer/import/ImportRun.h"
#include "transfer/import/ui/frmImportPreview.h"
#include "transfer/ui/HistoryFailure.h"
#include "transfer/import/PackageTree.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int PictureRole = Qt::UserRole + 3;

QIcon tickIcon(bool ticked)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    if (ticked) {
        p.setPen(QPen(QColor(0, 110, 0), 2));
        p.drawPolyline(QPolygonF({QPointF(4.5, 8), QPointF(7, 11), QPointF(12, 4.5)}));
    }
    return QIcon(pm);
}

QIcon makeIcon(int picture)
{
    QStyle *style = QApplication::style();
    switch (picture) {
    case frmImport::PicCategory: return style->standardIcon(QStyle::SP_DirClosedIcon);
    case frmImport::PicCategoryOpen: return style->standardIcon(QStyle::SP_DirOpenIcon);
    case frmImport::PicRecycleBin: return style->standardIcon(QStyle::SP_TrashIcon);
    case frmImport::PicRoot: return style->standardIcon(QStyle::SP_DriveHDIcon);
    case frmImport::PicReport: return tickIcon(false);
    case frmImport::PicReportTicked: return tickIcon(true);
    }
    return {};
}

// Drawn once: a package may hold thousands of report nodes.
QIcon pictureIcon(int picture)
{
    static QHash<int, QIcon> icons;
    auto it = icons.find(picture);
    if (it == icons.end())
        it = icons.insert(picture, makeIcon(picture));
    return *it;
}

// The package for one command: read-only, untrusted, closed when the command ends.
class PackageConnection {
public:
    explicit PackageConnection(const QString &path)
        : m_db(PackageFile::openForReading(path, QString::fromLatin1(Schema::PackagePassword), name())) {}
    ~PackageConnection()
    {
        m_db = QSqlDatabase();
        PackageFile::close(name());
    }
    const QSqlDatabase &db() const { return m_db; }

private:
    static QString name() { return QStringLiteral("frmImport-package"); }
    QSqlDatabase m_db;
};

QString nodeText(const QString &name) { return name.isNull() ? QStringLiteral("Unknown") : name; }

// The package commands need a package path first; without one, say so and go to the path.
bool packageChosen(QLineEdit *txtPath)
{
    if (!txtPath->text().isEmpty())
        return true;
    prompter().message(QStringLiteral("Select source database!"), AppTitle, Prompter::Icon::Exclamation);
    txtPath->setFocus();
    return false;
}

} // namespace

void ShowImportDialog(int idCategDest, const QString &destinationText, QWidget *parent)
{
    frmImport dlg(parent ? parent : frmMain::exists() ? frmMain::instance() : nullptr);
    dlg.IdCategDest = idCategDest;
    dlg.txtDestination->setText(destinationText);
    dlg.exec();
}

int frmImport::picture(const QTreeWidgetItem *item) { return item ? item->data(0, PictureRole).toInt() : 0; }

void frmImport::setPicture(QTreeWidgetItem *item, int picture)
{
    item->setData(0, PictureRole, picture);
    item->setIcon(0, pictureIcon(picture));
}

frmImport::frmImport(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmImport"));
    setWindowTitle(QStringLiteral("Import Reports from MS Access (.mdb) database"));
    const auto named = [](QWidget *w, const char *name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };

    txtPath = new QLineEdit(this);
    named(txtPath, "txtPath");
    cmdBrowse = NamedButton(this, "cmdBrowse", QStringLiteral("..."), false);
    cmdBrowse->setToolTip(QStringLiteral("Browse"));
    txtDestination = new QLineEdit(this);
    named(txtDestination, "txtDestination");
    txtDestination->setReadOnly(true);
    twRep = new QTreeWidget(this);
    named(twRep, "twRep");
    twRep->setHeaderHidden(true);
    optDSNDep = new QRadioButton(QStringLiteral("Import data sources for selected reports"), this);
    named(optDSNDep, "optDSNDep");
    optDSNSel = new QRadioButton(QStringLiteral("Import selected data sources"), this);
    named(optDSNSel, "optDSNSel");
    cmdDSN = NamedButton(this, "cmdDSN", QStringLiteral("..."), false);
    cmdDSN->setToolTip(QStringLiteral("Browse"));
    optDepMacros = new QRadioButton(QStringLiteral("Import macros for selected reports"), this);
    named(optDepMacros, "optDepMacros");
    optSelMacros = new QRadioButton(QStringLiteral("Import selected macros"), this);
    named(optSelMacros, "optSelMacros");
    cmdMacros = NamedButton(this, "cmdMacros", QStringLiteral("..."), false);
    cmdMacros->setToolTip(QStringLiteral("Browse"));
    chkRoles = new QCheckBox(QStringLiteral("Import security roles"), this);
    named(chkRoles, "chkRoles");
    chkUsers = new QCheckBox(QStringLiteral("Import users"), this);
    named(chkUsers, "chkUsers");
    chkCategories = new QCheckBox(QStringLiteral("Import report's folders"), this);
    named(chkCategories, "chkCategories");
    cmdCheckAll = NamedButton(this, "cmdCheckAll", QStringLiteral("&Check All"), false);
    cmdClearAll = NamedButton(this, "cmdClearAll", QStringLiteral("Clear &All"), false);
    cmdSyncronize = NamedButton(this, "cmdSyncronize", QStringLiteral("Syncronize Reports"), false);
    cmdPreview = NamedButton(this, "cmdPreview", QStringLiteral("Preview"), false);
    cmdExport = NamedButton(this, "cmdExport", QStringLiteral("&Import"), false);
    cmdClose = NamedButton(this, "cmdClose", QStringLiteral("&Close"), false);
    ProgressBar1 = new QProgressBar(this);
    named(ProgressBar1, "ProgressBar1");
    ProgressBar1->setVisible(false);
    StatusBar1 = new QStatusBar(this);
    named(StatusBar1, "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    panel1 = new QLabel(this);
    named(panel1, "panel1");
    // A long failure text is cut at the window's edge instead of widening the window past the screen.
    panel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    panel2 = new QLabel(this);
    named(panel2, "panel2");
    StatusBar1->addWidget(panel1, 1);
    StatusBar1->addPermanentWidget(panel2);

    // Layout: package and destination on top, the tree on the left, options on the right.
    auto *source = new QGroupBox(QStringLiteral("Source Database (.mdb)"), this);
    auto *sourceRow = new QHBoxLayout(source);
    sourceRow->addWidget(txtPath);
    sourceRow->addWidget(cmdBrowse);
    auto *dest = new QGroupBox(QStringLiteral("Destination Folder"), this);
    (new QHBoxLayout(dest))->addWidget(txtDestination);

    auto *dsFrame = new QGroupBox(QStringLiteral("Data Sources"), this);
    auto *dsGrid = new QGridLayout(dsFrame);
    dsGrid->addWidget(optDSNDep, 0, 0);
    dsGrid->addWidget(optDSNSel, 1, 0);
    dsGrid->addWidget(cmdDSN, 1, 1);
    auto *macroFrame = new QGroupBox(QStringLiteral("Excel macros"), this);
    auto *macroGrid = new QGridLayout(macroFrame);
    macroGrid->addWidget(optDepMacros, 0, 0);
    macroGrid->addWidget(optSelMacros, 1, 0);
    macroGrid->addWidget(cmdMacros, 1, 1);
    auto *others = new QGroupBox(QStringLiteral("Others"), this);
    auto *othersBox = new QVBoxLayout(others);
    othersBox->addWidget(chkRoles);
    othersBox->addWidget(chkUsers);
    othersBox->addWidget(chkCategories);
    auto *options = new QVBoxLayout;
    options->addWidget(dsFrame);
    options->addWidget(macroFrame);
    options->addWidget(others);
    options->addStretch();
    options->addWidget(cmdSyncronize);

    auto *middle = new QHBoxLayout;
    middle->addWidget(twRep, 3);
    middle->addLayout(options, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdCheckAll);
    buttons->addWidget(cmdClearAll);
    buttons->addStretch();
    buttons->addWidget(cmdPreview);
    buttons->addWidget(cmdExport);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(source);
    layout->addWidget(dest);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    layout->addWidget(ProgressBar1);
    layout->addWidget(StatusBar1);
    resize(720, 560);

    optDepMacros->setChecked(true);
    optDSNSel->setChecked(true);

    connect(cmdBrowse, &QPushButton::clicked, this, &frmImport::cmdBrowse_Click);
    connect(cmdCheckAll, &QPushButton::clicked, this, &frmImport::cmdCheckAll_Click);
    connect(cmdClearAll, &QPushButton::clicked, this, &frmImport::cmdClearAll_Click);
    connect(twRep, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { twRep_DblClick(item); });
    connect(cmdDSN, &QPushButton::clicked, this, &frmImport::cmdDSN_Click);
    connect(cmdMacros, &QPushButton::clicked, this, &frmImport::cmdMacros_Click);
    connect(cmdSyncronize, &QPushButton::clicked, this, &frmImport::cmdSyncronize_Click);
    connect(cmdPreview, &QPushButton::clicked, this, &frmImport::cmdPreview_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmImport::cmdExport_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmImport::cmdClose_Click);
}

// ---- tree

void frmImport::LoadCateg()
{
    BusyCursor busy;
    twRep->clear();
    m_categoryNodes.clear();
    PackageTree tree;
    if (!RunCommand(QStringLiteral("frmMain.LoadCateg()"), [&] {
            PackageConnection package(txtPath->text());
            tree = LoadPackageTree(package.db());
        }))
        return;
    for (const PackageTree::Category &c : tree.categories) {
        QTreeWidgetItem *parent = m_categoryNodes.value(c.parent);
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(twRep);
        item->setText(0, nodeText(c.name));
        ItemData::setKey(item, QStringLiteral("c%1").arg(c.id));
        ItemData::setTag(item, c.id);
        setPicture(item, c.id == 1 ? PicRoot : c.id == 2 ? PicRecycleBin : PicCategory);
        item->setExpanded(true);
        m_categoryNodes.insert(c.id, item);
    }
    if (QTreeWidgetItem *root = m_categoryNodes.value(1)) {
        twRep->setCurrentItem(root);
        twRep->scrollToItem(root);
    }
    LoadReports(tree);
}

void frmImport::LoadReports(const PackageTree &tree)
{
    int count = 0;
    for (const PackageTree::Report &r : tree.reports) {
        QTreeWidgetItem *parent = m_categoryNodes.value(r.node);
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(twRep);
        item->setText(0, nodeText(r.name));
        ItemData::setKey(item, QStringLiteral("r%1").arg(r.id));
        ItemData::setTag(item, r.categ);
        setPicture(item, PicReport);
        item->setData(0, Qt::UserRole + 4, count); // the order reports are imported in
        item->setExpanded(true);
        ++count;
    }
    panel2->setText(QString::number(count) + QStringLiteral(" reports disponible"));
}

// Report nodes in the order they were added (the reports by name).
static QList<QTreeWidgetItem *> reportNodes(QTreeWidget *tree)
{
    QList<QTreeWidgetItem *> nodes;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if (ItemData::key(*it).startsWith(QLatin1Char('r')))
            nodes << *it;
    std::stable_sort(nodes.begin(), nodes.end(), [](QTreeWidgetItem *a, QTreeWidgetItem *b) {
        return a->data(0, Qt::UserRole + 4).toInt() < b->data(0, Qt::UserRole + 4).toInt();
    });
    return nodes;
}

void frmImport::cmdCheckAll_Click()
{
    for (QTreeWidgetItem *item : reportNodes(twRep))
        setPicture(item, PicReportTicked);
}

void frmImport::cmdClearAll_Click()
{
    for (QTreeWidgetItem *item : reportNodes(twRep))
        setPicture(item, PicReport);
}

void frmImport::twRep_DblClick(QTreeWidgetItem *item)
{
    if (!item || !ItemData::key(item).startsWith(QLatin1Char('r')))
        return;
    setPicture(item, picture(item) == PicReportTicked ? PicReport : PicReportTicked);
}

// ---- commands

void frmImport::cmdBrowse_Click()
{
    const QString file = prompter().openFile(QStringLiteral("Select source database ..."),
                                             QStringLiteral("Microsoft Access Database(*.mdb)|*.mdb"), txtPath->text());
    if (file.isEmpty())
        return;
    txtPath->setText(file);
    LoadCateg();
}

void frmImport::cmdDSN_Click()
{
    if (!packageChosen(txtPath))
        return;
    optDSNSel->setChecked(true);
    RunCommand(QStringLiteral("cmdDSN_Click()"), [&] {
        PackageConnection package(txtPath->text());
        frmExportDSN picker(this);
        picker.LoadDSN(colDSN, package.db());
        colDSN = picker.colDSN;
    });
}

void frmImport::cmdMacros_Click()
{
    if (!packageChosen(txtPath))
        return;
    optSelMacros->setChecked(true);
    RunCommand(QStringLiteral("cmdMacros_Click()"), [&] {
        PackageConnection package(txtPath->text());
        frmExportMacros picker(this);
        picker.LoadMe(colSelMacros, package.db());
        colSelMacros = picker.colSelMacros;
    });
}

void frmImport::cmdSyncronize_Click()
{
    if (!packageChosen(txtPath))
        return;
    RunCommand(QStringLiteral("cmdSyncronize_Click()"), [&] {
        PackageConnection package(txtPath->text());
        frmSyncronize dlg(this);
        if (dlg.LoadMe(App::session().Connection(), package.db(), colSyncRep))
            colSyncRep = dlg.colSyncRep;
    });
}

void frmImport::setBusy(bool busy)
{
    m_busy = busy;
    cmdSyncronize->setVisible(!busy);
    for (QPushButton *b : {cmdBrowse, cmdCheckAll, cmdClearAll, cmdClose, cmdDSN, cmdExport, cmdMacros, cmdPreview})
        b->setEnabled(!busy);
}

void frmImport::cmdExport_Click()
{
    if (txtPath->text().isEmpty()) {
        prompter().message(QStringLiteral("Select File path!"), AppTitle, Prompter::Icon::Exclamation);
        txtPath->setFocus();
        return;
    }
    if (prompter().message(QStringLiteral("Import selected reports?"), AppTitle, Prompter::Icon::Question,
                           Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return;
    runImport(currentOptions());
}

// The plan in a window of its own; its Import button runs the import as cmdExport does.
void frmImport::cmdPreview_Click()
{
    if (!packageChosen(txtPath))
        return;
    const ImportOptions o = currentOptions();
    ImportPlan plan;
    {
        BusyCursor busy;
        if (!RunCommand(QStringLiteral("cmdPreview_Click()"), [&] { plan = PlanImport(App::session().Connection(), o); }))
            return;
    }
    frmImportPreview preview(plan, this);
    if (preview.exec() == QDialog::Accepted)
        runImport(o);
}

ImportOptions frmImport::currentOptions() const
{
    ImportOptions o;
    o.packagePath = txtPath->text();
    o.idCategDest = IdCategDest;
    for (QTreeWidgetItem *item : reportNodes(twRep))
        if (picture(item) == PicReportTicked)
            o.reportIds << ItemData::idOfKey(ItemData::key(item));
    o.dataSources = optDSNDep->isChecked() ? ImportOptions::Choice::ForReports : ImportOptions::Choice::Selected;
    o.dataSourceIds = colDSN;
    o.macros = optDepMacros->isChecked() ? ImportOptions::Choice::ForReports : ImportOptions::Choice::Selected;
    o.macroIds = colSelMacros;
    o.roles = chkRoles->isChecked();
    o.users = chkUsers->isChecked();
    o.folders = chkCategories->isChecked();
    for (const auto &pair : colSyncRep)
        o.syncPairs.insert(pair.first, pair.second);
    return o;
}

void frmImport::runImport(ImportOptions o)
{
    AppError failure(0, QString());
    QStringList held;
    {
        BusyCursor busy;
        setBusy(true);
        yield();
        ProgressBar1->setVisible(true);
        try {
            o.currentUserId = App::session().CurrentUserId();
            ImportRun run(App::session().Connection(), o, this,
                          [](const AppError &e, const QString &origin) { ShowError(e, origin); });
            TransferRecording::runImport(App::session(), run, o, nullptr, HistoryFailure);
            if (o.dataSources == ImportOptions::Choice::ForReports)
                colDSN = run.dataSourcesUsed;
            if (o.macros == ImportOptions::Choice::ForReports)
                colSelMacros = run.macrosUsed;
            for (const ImportRun::HeldReport &h : std::as_const(run.heldReports))
                held << ImportRun::heldText(h);
        } catch (const AppError &e) {
            failure = e;
        } catch (const std::exception &e) {
            failure = AppError(ErrorNumber::Generic, QString::fromLocal8Bit(e.what()));
        }
        if (failure.number == 0) {
            ProgressBar1->setValue(0);
            status(QStringLiteral("Refreshing reports ..."));
            yield();
            if (frmMain::exists())
                RunCommand(QStringLiteral("mnuViewRefresh_Click()"), [] { frmMain::instance()->mnuViewRefresh_Click(); });
            ProgressBar1->setVisible(false);
            status(held.isEmpty() ? QStringLiteral("Operation completed successfully.")
                                  : QStringLiteral("Operation completed; %1 report(s) left unchanged.").arg(held.size()));
        } else {
            ProgressBar1->setValue(0);
            ProgressBar1->setVisible(false);
            status(failure.description);
        }
        setBusy(false);
    }
    if (failure.number != 0)
        ShowError(failure, QStringLiteral("cmdExport_Click()"));
    else if (!held.isEmpty())
        prompter().message(held.join(QStringLiteral("\r\n")), AppTitle, Prompter::Icon::Exclamation);
}

void frmImport::cmdClose_Click() { close(); }

void frmImport::closeEvent(QCloseEvent *event)
{
    // The window cannot be closed while a run is writing.
    if (m_busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmImport::done(int result)
{
    if (m_busy)
        return;
    SaveWindowPlacement(this);
    QDialog::done(result);
}

// ---- progress

void frmImport::status(const QString &text) { panel1->setText(text); }

void frmImport::progress(int value, int maximum)
{
    ProgressBar1->setMinimum(0);
    ProgressBar1->setMaximum(maximum);
    ProgressBar1->setValue(value);
}

void frmImport::yield() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }
