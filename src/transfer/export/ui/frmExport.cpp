#include "frmExport.h"

#include "frmExportDSN.h"
#include "frmExportMacros.h"
#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/Prompter.h"
#include "shell/ReplaceQuestion.h"
#include "transfer/export/ExportRun.h"
#include "transfer/ui/HistoryFailure.h"
#include "transfer/export/ExportTree.h"

#include <QCloseEvent>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
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

constexpr int MarkRole = Qt::UserRole + 10;

QIcon markIcon(bool selected)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    if (selected) {
        p.setPen(QPen(QColor(0, 120, 0), 2.2));
        p.drawPolyline(QPolygonF({QPointF(4.5, 8), QPointF(7, 11), QPointF(12, 4.5)}));
    }
    return QIcon(pm);
}

QString nodeName(const QString &name) { return name.isNull() ? QStringLiteral("Unknown") : name; }

} // namespace

frmExport::frmExport(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmExport"));
    setWindowTitle(QStringLiteral("Export Reports to MS Access (.mdb) database"));
    auto named = [](auto *w, const char *name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    auto browse = [&](const char *name) {
        auto *b = named(new QPushButton(QStringLiteral("..."), this), name);
        b->setToolTip(QStringLiteral("Browse"));
        b->setFixedWidth(32);
        return b;
    };

    txtPath = named(new QLineEdit(this), "txtPath");
    cmdBrowse = browse("cmdBrowse");
    optDepMacros = named(new QRadioButton(QStringLiteral("Export macros for selected reports"), this), "optDepMacros");
    optSelMacros = named(new QRadioButton(QStringLiteral("Export selected macros"), this), "optSelMacros");
    cmdMacros = browse("cmdMacros");
    optDSNSel = named(new QRadioButton(QStringLiteral("Export selected data sources"), this), "optDSNSel");
    optDSNDep = named(new QRadioButton(QStringLiteral("Export data sources for selected reports"), this), "optDSNDep");
    cmdDSN = browse("cmdDSN");
    chkUsers = named(new QCheckBox(QStringLiteral("Export users"), this), "chkUsers");
    chkRoles = named(new QCheckBox(QStringLiteral("Export security roles"), this), "chkRoles");
    chkCategories = named(new QCheckBox(QStringLiteral("Export report's folders"), this), "chkCategories");
    twRep = named(new QTreeWidget(this), "twRep");
    twRep->setHeaderHidden(true);
    cmdCheckAll = named(new QPushButton(QStringLiteral("&Check All"), this), "cmdCheckAll");
    cmdClearAll = named(new QPushButton(QStringLiteral("Clear &All"), this), "cmdClearAll");
    cmdExport = named(new QPushButton(QStringLiteral("&Export"), this), "cmdExport");
    cmdClose = named(new QPushButton(QStringLiteral("&Close"), this), "cmdClose");
    ProgressBar1 = named(new QProgressBar(this), "ProgressBar1");
    ProgressBar1->setVisible(false);
    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        auto *panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        // A long failure text in panel 1 is cut at the window's edge instead of widening the window.
        if (i == 0)
            panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        StatusBar1->addWidget(panel, i == 0 ? 1 : 0);
        m_panels << panel;
    }

    auto *pathFrame = named(new QGroupBox(QStringLiteral("Export to (.mdb)"), this), "fraPath");
    auto *pathRow = new QHBoxLayout(pathFrame);
    pathRow->addWidget(txtPath);
    pathRow->addWidget(cmdBrowse);

    auto *macroFrame = named(new QGroupBox(QStringLiteral("Excel macros"), this), "fraMacros");
    auto *macroGrid = new QGridLayout(macroFrame);
    macroGrid->addWidget(optDepMacros, 0, 0);
    macroGrid->addWidget(optSelMacros, 1, 0);
    macroGrid->addWidget(cmdMacros, 1, 1);

    auto *dsnFrame = named(new QGroupBox(QStringLiteral("Data Sources"), this), "fraDSN");
    auto *dsnGrid = new QGridLayout(dsnFrame);
    dsnGrid->addWidget(optDSNDep, 0, 0);
    dsnGrid->addWidget(optDSNSel, 1, 0);
    dsnGrid->addWidget(cmdDSN, 1, 1);

    auto *otherFrame = named(new QGroupBox(QStringLiteral("Others"), this), "fraOthers");
    auto *otherCol = new QVBoxLayout(otherFrame);
    otherCol->addWidget(chkUsers);
    otherCol->addWidget(chkRoles);
    otherCol->addWidget(chkCategories);

    auto *options = new QVBoxLayout;
    options->addWidget(pathFrame);
    options->addWidget(macroFrame);
    options->addWidget(dsnFrame);
    options->addWidget(otherFrame);
    options->addStretch(1);
    auto *body = new QHBoxLayout;
    body->addWidget(twRep, 1);
    body->addLayout(options);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdCheckAll);
    buttons->addWidget(cmdClearAll);
    buttons->addStretch(1);
    buttons->addWidget(cmdExport);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(ProgressBar1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar1);
    resize(760, 520);

    optDepMacros->setChecked(true);
    optDSNDep->setChecked(true);
    chkUsers->setChecked(true);
    chkRoles->setChecked(true);
    chkCategories->setChecked(true);

    connect(cmdBrowse, &QPushButton::clicked, this, &frmExport::cmdBrowse_Click);
    connect(cmdMacros, &QPushButton::clicked, this, &frmExport::cmdMacros_Click);
    connect(cmdDSN, &QPushButton::clicked, this, &frmExport::cmdDSN_Click);
    connect(cmdCheckAll, &QPushButton::clicked, this, &frmExport::cmdCheckAll_Click);
    connect(cmdClearAll, &QPushButton::clicked, this, &frmExport::cmdClearAll_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmExport::cmdExport_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmExport::cmdClose_Click);
    connect(twRep, &QTreeWidget::itemDoubleClicked, this, &frmExport::twRep_DblClick);

    Form_Load();
}

int frmExport::mark(const QTreeWidgetItem *item) { return item ? item->data(0, MarkRole).toInt() : 0; }

void frmExport::setMark(QTreeWidgetItem *item, int mark)
{
    item->setData(0, MarkRole, mark);
    static const QIcon on = markIcon(true), off = markIcon(false);
    item->setIcon(0, mark == MarkSelected ? on : off);
}

QString frmExport::panelText(int panel) const
{
    return panel >= 1 && panel <= m_panels.size() ? m_panels[panel - 1]->text() : QString();
}

void frmExport::Form_Load()
{
    colSelMacros.clear();
    colDSN.clear();
    BusyCursor busy;
    twRep->clear();
    m_nodes.clear();
    LoadCateg();
}

void frmExport::LoadCateg()
{
    QList<ExportTreeNode> categories;
    const bool loaded = RunCommand(QStringLiteral("frmMain.LoadCateg()"), [&] {
        categories = LoadExportCategories(App::session());
        QHash<int, QTreeWidgetItem *> byId;
        const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
        const QIcon root = style()->standardIcon(QStyle::SP_DriveHDIcon);
        for (const ExportTreeNode &c : std::as_const(categories)) {
            QTreeWidgetItem *parent = byId.value(c.parentCategory);
            auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(twRep);
            item->setText(0, nodeName(c.name));
            ItemData::setKey(item, QStringLiteral("c") + QString::number(c.id));
            ItemData::setTag(item, c.id);
            item->setIcon(0, c.id == 1 ? root : folder);
            item->setExpanded(true);
            byId.insert(c.id, item);
            m_nodes << item;
        }
        if (QTreeWidgetItem *rootNode = byId.value(1)) {
            twRep->setCurrentItem(rootNode);
            twRep->scrollToItem(rootNode);
        }
    });
    if (!loaded)
        return;
    RunCommand(QStringLiteral("frmMain.LoadReports()"), [&] {
        const QList<ExportTreeNode> reports = LoadExportReports(App::session(), categories);
        QHash<int, QTreeWidgetItem *> byId;
        for (QTreeWidgetItem *n : std::as_const(m_nodes))
            byId.insert(ItemData::tag(n).toInt(), n);
        int count = 0;
        for (const ExportTreeNode &r : reports) {
            QTreeWidgetItem *parent = byId.value(r.parentCategory);
            auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(twRep);
            item->setText(0, nodeName(r.name));
            ItemData::setKey(item, QStringLiteral("r") + QString::number(r.id));
            ItemData::setTag(item, r.idCateg);
            setMark(item, MarkNotSelected);
            m_nodes << item;
            ++count;
        }
        m_panels[1]->setText(QString::number(count) + QStringLiteral(" reports disponible"));
    });
}

void frmExport::cmdCheckAll_Click()
{
    for (QTreeWidgetItem *n : std::as_const(m_nodes))
        if (ItemData::key(n).startsWith(QLatin1Char('r')))
            setMark(n, MarkSelected);
}

void frmExport::cmdClearAll_Click()
{
    for (QTreeWidgetItem *n : std::as_const(m_nodes))
        if (ItemData::key(n).startsWith(QLatin1Char('r')))
            setMark(n, MarkNotSelected);
}

void frmExport::twRep_DblClick()
{
    QTreeWidgetItem *n = twRep->currentItem();
    if (!n || !ItemData::key(n).startsWith(QLatin1Char('r')))
        return;
    setMark(n, mark(n) == MarkSelected ? MarkNotSelected : MarkSelected);
}

void frmExport::cmdBrowse_Click()
{
    const QString title = QStringLiteral("Enter file name and path ...");
    const QString file = prompter().saveFile(title, QStringLiteral("Microsoft Access Database(*.mdb)|*.mdb"),
                                             QStringLiteral("*.mdb"), txtPath->text(), false);
    if (file.isEmpty())
        return;
    // Only a package may be replaced, and only when the user says so.
    if (!MayReplaceWithNewFile(file, title))
        return;
    txtPath->setText(file);
}

void frmExport::cmdMacros_Click()
{
    optSelMacros->setChecked(true);
    RunCommand(QStringLiteral("cmdMacros_Click()"), [&] {
        frmExportMacros picker(this);
        picker.LoadMe(colSelMacros, App::session().Connection());
        colSelMacros = picker.colSelMacros;
    });
}

void frmExport::cmdDSN_Click()
{
    optDSNSel->setChecked(true);
    RunCommand(QStringLiteral("cmdDSN_Click()"), [&] {
        frmExportDSN picker(this);
        picker.LoadDSN(colDSN, App::session().Connection());
        colDSN = picker.colDSN;
    });
}

void frmExport::closeEvent(QCloseEvent *event)
{
    if (m_busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmExport::reject()
{
    if (!m_busy)
        QDialog::reject();
}

void frmExport::setBusy(bool busy)
{
    m_busy = busy;
    for (QPushButton *b : {cmdBrowse, cmdCheckAll, cmdClearAll, cmdClose, cmdDSN, cmdExport, cmdMacros})
        b->setEnabled(!busy);
    ProgressBar1->setVisible(busy);
}

void frmExport::status(const QString &text) { m_panels[0]->setText(text); }

void frmExport::progress(int value, int maximum)
{
    ProgressBar1->setRange(0, maximum);
    ProgressBar1->setValue(value);
}

void frmExport::yield() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void frmExport::cmdExport_Click()
{
    if (txtPath->text().isEmpty()) {
        prompter().message(QStringLiteral("Select File path!"), AppTitle, Prompter::Icon::Exclamation,
                           Prompter::Buttons::Ok);
        txtPath->setFocus();
        return;
    }
    if (prompter().message(QStringLiteral("Export selected reports?"), AppTitle, Prompter::Icon::Question,
                           Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return;

    ExportOptions options;
    options.packagePath = txtPath->text();
    for (QTreeWidgetItem *n : std::as_const(m_nodes))
        if (mark(n) == MarkSelected && ItemData::key(n).startsWith(QLatin1Char('r')))
            options.reportIds << ItemData::idOfKey(ItemData::key(n));
    options.macroMode = optDepMacros->isChecked() ? ExportOptions::MacroMode::ForReports
                                                  : ExportOptions::MacroMode::Selected;
    options.macroIds = colSelMacros;
    options.dataSourceMode = optDSNDep->isChecked() ? ExportOptions::DataSourceMode::ForReports
                                                    : ExportOptions::DataSourceMode::Selected;
    options.dataSourceIds = colDSN;
    options.folders = chkCategories->isChecked();
    options.roles = chkRoles->isChecked();
    options.users = chkUsers->isChecked();

    BusyCursor busy;
    setBusy(true);
    ExportRun run(App::session(), options, this);
    run.onStepFailure = [](const AppError &e, const QString &origin) { ShowError(e, origin); };
    const bool ok = RunCommand(QStringLiteral("cmdExport_Click()"), [&] {
        try {
            TransferRecording::runExport(App::session(), run, options, nullptr, HistoryFailure);
        } catch (...) {
            setBusy(false); // the window is usable again before the error box shows
            throw;
        }
    });
    if (options.macroMode == ExportOptions::MacroMode::ForReports)
        colSelMacros = run.macroIds();
    if (ok && options.dataSourceMode == ExportOptions::DataSourceMode::ForReports)
        colDSN = run.dataSourceIds();
    setBusy(false);
}

void frmExport::cmdClose_Click() { close(); }

void ShowExportDialog(QWidget *parent)
{
    frmExport dialog(parent);
    dialog.exec();
}
