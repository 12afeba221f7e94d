#include "frmDSN.h"

#include "VariablesGrid.h"
#include "frmDS.h"
#include "frmDependences.h"
#include "frmEditSQLString.h"

#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/UnsavedWork.h"

#include <QAction>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
const QString GridFormat = QStringLiteral("    |") + QStringLiteral("<Name                          |")
                         + QStringLiteral("<Type             |") + QStringLiteral("<Caption                    |")
                         + QStringLiteral("<Default value        |") + QStringLiteral("<Lookup SQL String   ");
const QStringList TypeEntries{QStringLiteral("1#$#String"), QStringLiteral("2#$#Numeric"), QStringLiteral("3#$#Date")};

QPushButton *button(QWidget *parent, const QString &caption, const QString &name)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}
} // namespace

frmDSN::frmDSN(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDSN"));
    setWindowTitle(QStringLiteral(" Data Source Name"));
    auto *outer = new QVBoxLayout(this);

    auto *top = new QHBoxLayout;
    lstDSN = new QTreeWidget(this);
    lstDSN->setObjectName(QStringLiteral("lstDSN"));
    lstDSN->setRootIsDecorated(false);
    lstDSN->setAllColumnsShowFocus(true);
    lstDSN->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Connection String"), QStringLiteral("Description"),
                             QStringLiteral("Jet")});
    // The columns share the list's width: no scroll bar for a list that fits.
    lstDSN->header()->setStretchLastSection(false);
    lstDSN->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    lstDSN->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    lstDSN->header()->setSectionResizeMode(2, QHeaderView::Interactive);
    lstDSN->header()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    lstDSN->setColumnWidth(0, 160);
    lstDSN->setColumnWidth(2, 180);
    lstDSN->header()->setSectionsClickable(true);
    lstDSN->installEventFilter(this);
    top->addWidget(lstDSN, 1);
    auto *side = new QVBoxLayout;
    cmdAdd = button(this, QStringLiteral("&Add"), QStringLiteral("cmdAdd"));
    cmdEdit = button(this, QStringLiteral("&Edit"), QStringLiteral("cmdEdit"));
    cmdDelete = button(this, QStringLiteral("&Delete"), QStringLiteral("cmdDelete"));
    side->addWidget(cmdAdd);
    side->addWidget(cmdEdit);
    side->addWidget(cmdDelete);
    side->addStretch();
    top->addLayout(side);
    outer->addLayout(top, 1);

    auto *bottom = new QHBoxLayout;
    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    grdVariabile = new VariablesGrid;
    grdVariabile->setObjectName(QStringLiteral("grdVariabile"));
    TabStrip1->addTab(grdVariabile, QStringLiteral("Var"));
    bottom->addWidget(TabStrip1, 1);
    auto *arrows = new QVBoxLayout;
    cmdUp = button(this, QString(QChar(0x25B2)), QStringLiteral("cmdUp"));
    cmdDown = button(this, QString(QChar(0x25BC)), QStringLiteral("cmdDown"));
    cmdUp->setToolTip(QStringLiteral("Up"));
    cmdDown->setToolTip(QStringLiteral("Down"));
    cmdDelVar = button(this, QString(), QStringLiteral("cmdDelVar"));
    cmdDelVar->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    cmdDelVar->setToolTip(QStringLiteral("Delete variable"));
    mnuDeleteVariable = new QAction(QStringLiteral("&Delete variable"), this);
    mnuDeleteVariable->setObjectName(QStringLiteral("mnuDeleteVariable"));
    grdVariabile->setContextMenuPolicy(Qt::ActionsContextMenu);
    grdVariabile->addAction(mnuDeleteVariable);
    arrows->addStretch();
    arrows->addWidget(cmdUp);
    arrows->addWidget(cmdDown);
    arrows->addSpacing(12);
    arrows->addWidget(cmdDelVar);
    arrows->addStretch();
    bottom->addLayout(arrows);
    outer->addLayout(bottom, 1);

    auto *buttons = new QHBoxLayout;
    // Alt+D is "&Delete"'s; P is the next letter of the word that no other control of the window takes.
    cmdReferences = button(this, QStringLiteral("De&pendences"), QStringLiteral("cmdReferences"));
    cmdSave = button(this, QStringLiteral("&Save"), QStringLiteral("cmdSave"));
    cmdClose = button(this, QStringLiteral("&Close"), QStringLiteral("cmdClose"));
    buttons->addWidget(cmdReferences);
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);
    outer->addLayout(buttons);

    connect(cmdAdd, &QPushButton::clicked, this, &frmDSN::cmdAdd_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &frmDSN::cmdEdit_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmDSN::cmdDelete_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmDSN::cmdClose_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmDSN::cmdSave_Click);
    connect(cmdUp, &QPushButton::clicked, this, &frmDSN::cmdUp_Click);
    connect(cmdDown, &QPushButton::clicked, this, &frmDSN::cmdDown_Click);
    connect(cmdReferences, &QPushButton::clicked, this, &frmDSN::cmdReferences_Click);
    connect(lstDSN, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) { lstDSN_ItemClick(item); });
    connect(cmdDelVar, &QPushButton::clicked, this, &frmDSN::cmdDelVar_Click);
    connect(mnuDeleteVariable, &QAction::triggered, this, &frmDSN::cmdDelVar_Click);
    connect(lstDSN, &QTreeWidget::itemDoubleClicked, this, &frmDSN::lstDSN_DblClick);
    connect(lstDSN->header(), &QHeaderView::sectionClicked, this, &frmDSN::lstDSN_ColumnClick);
    connect(grdVariabile, &VariablesGrid::rowAdded, this, &frmDSN::grdVariabile_RowAdded);
    connect(grdVariabile, &VariablesGrid::beforeDeleteRow, this, &frmDSN::grdVariabile_BeforeDeleteRow);
    connect(grdVariabile, &VariablesGrid::cellActivated, this, &frmDSN::EditMemo);

    resize(820, 560);
    RunCommand(QStringLiteral("Form_Load()"), [this] { Form_Load(); });
}

void frmDSN::Form_Load()
{
    SetupGrid();
    const QSignalBlocker block(lstDSN);
    lstDSN->clear();
    for (const DataSourceItem &d : App::session().GetDataSourceList())
        fillRow(new QTreeWidgetItem(lstDSN), d.IdDataSource, d.Name, d.ConnectionString, d.Description, d.IsJet);
    // Without a data source there is nothing to edit, delete or save.
    setRowButtons(lstDSN->topLevelItemCount() > 0);
    if (lstDSN->topLevelItemCount() > 0) {
        lstDSN->setCurrentItem(lstDSN->topLevelItem(0));
        LoadVariables(selectedId());
    } else {
        ClearGridReadOnly();
    }
}

void frmDSN::SetupGrid()
{
    grdVariabile->setFormatString(GridFormat);
    grdVariabile->setColumnKind(1, false, true);
    grdVariabile->setColumnKind(2, true, true);
    grdVariabile->setColumnKind(3, false, true);
    grdVariabile->setColumnKind(4, false, true);
    grdVariabile->setColumnKind(5, false, false);
    grdVariabile->setColumnList(2, TypeEntries);
}

void frmDSN::ClearGridReadOnly()
{
    grdVariabile->clearGrid();
    grdVariabile->setEditable(false);
    cmdDelVar->setEnabled(false);
    mnuDeleteVariable->setEnabled(false);
    m_shownDs = 0;
}

void frmDSN::setRowButtons(bool enabled)
{
    cmdDelete->setEnabled(enabled);
    cmdEdit->setEnabled(enabled);
    cmdSave->setEnabled(enabled);
}

void frmDSN::fillRow(QTreeWidgetItem *item, int id, const QString &name, const QString &conn,
                     const QString &description, int isJet)
{
    item->setText(0, name);
    item->setText(1, conn);
    item->setText(2, description);
    item->setText(3, isJet == 0 ? QStringLiteral("No") : QStringLiteral("Yes"));
    ItemData::setTag(item, id);
}

int frmDSN::selectedId() const
{
    QTreeWidgetItem *item = lstDSN->currentItem();
    return item ? ItemData::tag(item).toInt() : 0;
}

void frmDSN::LoadVariables(int idDataSource)
{
    grdVariabile->clearGrid();
    grdVariabile->setEditable(true);
    cmdDelVar->setEnabled(true);
    mnuDeleteVariable->setEnabled(true);
    grdVariabile->setRows(2);
    grdVariabile->setRedraw(false);
    m_shownDs = idDataSource;
    const VariableRows rows = App::session().GetVariableRows(idDataSource, 0);
    // AddItem is not an edit: loaded rows start unchanged.
    int i = 0;
    for (const VariableRow &v : rows) {
        ++i;
        grdVariabile->AddItem(i, {QString::number(v.SortNr.isNull() ? 0 : v.SortNr.toInt()), v.Name,
                                  v.Type.isNull() ? QStringLiteral("1") : v.Type.toString(), v.Caption, v.DefaultValue,
                                  v.LookupSQLString});
        grdVariabile->setRowValue(i, v.IdVar);
    }
    grdVariabile->setRedraw(true);
    grdVariabile->update();
}

QString frmDSN::shownName() const
{
    for (int i = 0; i < lstDSN->topLevelItemCount(); ++i)
        if (ItemData::tag(lstDSN->topLevelItem(i)).toInt() == m_shownDs)
            return lstDSN->topLevelItem(i)->text(0);
    return {};
}

void frmDSN::lstDSN_ItemClick(QTreeWidgetItem *item)
{
    RunCommand(QStringLiteral("lstDSN_ItemClick()"), [&] {
        if (!item)
            return;
        const int id = ItemData::tag(item).toInt();
        if (id == m_shownDs)
            return;
        // Staying puts the list back on the data source whose variables are still on screen, also
        // once the click that chose the other one has been handled.
        auto stay = [this] {
            selectShownRow();
            QTimer::singleShot(0, this, [this] { selectShownRow(); });
        };
        if (LeaveOrStay([this] { return ConfirmLeaveGrid(); }, stay))
            LoadVariables(id);
    });
}

void frmDSN::selectShownRow()
{
    for (int i = 0; i < lstDSN->topLevelItemCount(); ++i)
        if (ItemData::tag(lstDSN->topLevelItem(i)).toInt() == m_shownDs) {
            const QSignalBlocker block(lstDSN);
            lstDSN->setCurrentItem(lstDSN->topLevelItem(i));
            return;
        }
}

bool frmDSN::ConfirmLeaveGrid()
{
    if (m_shownDs == 0 || !grdVariabile->HasChanges())
        return true;
    return AskToSaveWork(QStringLiteral("The variables of data source '%1' were changed.").arg(shownName())
                             + QLatin1Char('\r') + QStringLiteral("Do you want to save the changes?"),
                         [this] { return SaveGrid(); });
}

void frmDSN::cmdAdd_Click()
{
    RunCommand(QStringLiteral("cmdAdd_Click()"), [this] {
        frmDS dlg(this);
        dlg.AddDataSource();
        dlg.exec();
        if (dlg.Cancel)
            return;
        const DataSourceItem &d = dlg.DS;
        auto *item = new QTreeWidgetItem(lstDSN);
        fillRow(item, d.IdDataSource, d.Name, d.ConnectionString, d.Description, d.IsJet);
        // The new data source is added in any case; the grid moves to it only when the user lets
        // the variables on screen go.
        if (ConfirmLeaveGrid()) {
            {
                const QSignalBlocker block(lstDSN);
                lstDSN->setCurrentItem(item);
            }
            LoadVariables(d.IdDataSource);
        }
        if (lstDSN->topLevelItemCount() == 1)
            setRowButtons(true);
        lstDSN->setFocus();
    });
}

void frmDSN::cmdEdit_Click()
{
    RunCommand(QStringLiteral("cmdEdit_Click()"), [this] { EditSelected(); });
}

void frmDSN::EditSelected()
{
    QTreeWidgetItem *item = lstDSN->currentItem();
    if (!item)
        return;
    frmDS dlg(this);
    dlg.DS = App::session().GetDataSource(ItemData::tag(item).toInt());
    dlg.hasDS = true;
    dlg.EditDataSource();
    dlg.setWindowTitle(QStringLiteral("Edit Data Source"));
    dlg.exec();
    if (dlg.Cancel)
        return;
    const DataSourceItem &d = dlg.DS;
    fillRow(item, d.IdDataSource, d.Name, d.ConnectionString, d.Description, d.IsJet);
}

void frmDSN::lstDSN_DblClick()
{
    RunCommand(QStringLiteral("lstDSN_DblClick()"), [this] { EditSelected(); });
}

void frmDSN::cmdDelete_Click()
{
    RunCommand(QStringLiteral("cmdDelete_Click()"), [this] {
        QTreeWidgetItem *item = lstDSN->currentItem();
        if (!item)
            return;
        RepositorySession &session = App::session();
        const int id = ItemData::tag(item).toInt();
        const QString name = item->text(0);
        // Reports that read the data source would be left without one: refuse.
        const int reports = session.DataSourceReportCount(id);
        if (reports > 0) {
            prompter().message(QStringLiteral("The data source '%1' is used by %2 report(s) and cannot be deleted.\r"
                                              "Reports in the Recycle Bin count too.")
                                   .arg(name, QString::number(reports)),
                               AppTitle, Prompter::Icon::Exclamation);
            return;
        }
        QString question = QStringLiteral("Are you sure you want to delete") + QLatin1Char('\r')
                         + QStringLiteral("data source '") + name + QStringLiteral("' ?");
        const int variables = session.DataSourceVariableCount(id);
        if (variables > 0)
            question += QStringLiteral("\rIts %1 variable(s) and their dependences are deleted with it.").arg(variables);
        if (prompter().message(question, AppTitle, Prompter::Icon::Question, Prompter::Buttons::YesNo)
            != Prompter::Answer::Yes)
            return;
        DataSourceItem d(session);
        d.IdDataSource = id;
        d.Name = name;
        d.ConnectionString = item->text(1);
        d.Description = item->text(2);
        if (!d.Delete())
            return;
        grdVariabile->clearGrid();
        m_shownDs = 0;
        {
            const QSignalBlocker block(lstDSN);
            delete item;
        }
        if (lstDSN->topLevelItemCount() > 0) {
            QTreeWidgetItem *first = lstDSN->topLevelItem(0);
            {
                const QSignalBlocker block(lstDSN);
                lstDSN->setCurrentItem(first);
            }
            LoadVariables(ItemData::tag(first).toInt());
        } else {
            ClearGridReadOnly();
            setRowButtons(false);
        }
    });
}

void frmDSN::lstDSN_ColumnClick(int column)
{
    m_sortAscending = !m_sortAscending;
    lstDSN->sortItems(column, m_sortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void frmDSN::cmdClose_Click() { reject(); }

void frmDSN::reject()
{
    // "&Close", Escape and the window's frame all leave the grid.
    bool leave = false;
    RunCommand(QStringLiteral("cmdClose_Click()"), [&] { leave = ConfirmLeaveGrid(); });
    if (leave)
        QDialog::reject();
}

bool frmDSN::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstDSN && event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
            RunCommand(QStringLiteral("lstDSN_KeyDown()"), [this] { EditSelected(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmDSN::done(int result)
{
    SaveWindowPlacement(this);
    QDialog::done(result);
}

// ---- variables

void frmDSN::grdVariabile_RowAdded(int row)
{
    if (!grdVariabile->TextMatrix(row, 0).isEmpty())
        return;
    const int nr = row == 1 ? 1 : grdVariabile->TextMatrix(row - 1, 0).toInt() + 1;
    grdVariabile->setTextMatrix(row, 0, QString::number(nr));
}

void frmDSN::cmdUp_Click()
{
    try {
        const int row = grdVariabile->Row();
        // The blank row stays last.
        if (row <= 1 || row >= grdVariabile->Rows() - 1)
            return;
        grdVariabile->ExchangeRows(row, row - 1);
        const QString a = grdVariabile->TextMatrix(row, 0);
        grdVariabile->setTextMatrix(row, 0, grdVariabile->TextMatrix(row - 1, 0));
        grdVariabile->setTextMatrix(row - 1, 0, a);
        grdVariabile->setCurrentCell(row - 1, qMax(0, grdVariabile->Col()));
    } catch (...) {
    }
}

void frmDSN::cmdDown_Click()
{
    try {
        const int row = grdVariabile->Row();
        if (row < 1 || row >= grdVariabile->Rows() - 2)
            return;
        grdVariabile->ExchangeRows(row, row + 1);
        const QString a = grdVariabile->TextMatrix(row, 0);
        grdVariabile->setTextMatrix(row, 0, grdVariabile->TextMatrix(row + 1, 0));
        grdVariabile->setTextMatrix(row + 1, 0, a);
        grdVariabile->setCurrentCell(row + 1, qMax(0, grdVariabile->Col()));
    } catch (...) {
    }
}

void frmDSN::EditMemo()
{
    RunCommand(QStringLiteral("EditMemo()"), [this] {
        if (m_memo || grdVariabile->Col() != 5 || grdVariabile->Row() < 1
            || grdVariabile->Row() >= grdVariabile->Rows() - 1)
            return;
        const int row = grdVariabile->Row();
        frmEditSQLString memo(this);
        m_memo = &memo;
        memo.txtEdit->setPlainText(grdVariabile->TextMatrix(row, 5));
        const QRect cell = grdVariabile->CellRect(row, 5);
        const QPoint offset = grdVariabile->mapTo(this, QPoint(0, 0));
        const QRect frame = frameGeometry();
        QPoint at = frmEditSQLString::Position(
            PixelsToTwips(frame.left()), PixelsToTwips(frame.top()),
            QRect(PixelsToTwips(cell.left()), PixelsToTwips(cell.top()), PixelsToTwips(cell.width()),
                  PixelsToTwips(cell.height())),
            PixelsToTwips(offset.x()), PixelsToTwips(offset.y()));
        // Keep the editor on the screen when the cell is near its edge.
        if (const QScreen *screen = this->screen()) {
            const QRect avail = screen->availableGeometry();
            at.setX(qBound(avail.left(), at.x(), qMax(avail.left(), avail.right() - memo.width())));
            at.setY(qBound(avail.top(), at.y(), qMax(avail.top(), avail.bottom() - memo.height())));
        }
        memo.move(at);
        memo.exec();
        m_memo = nullptr;
        if (memo.Cancel)
            return;
        const QString text = memo.txtEdit->toPlainText();
        grdVariabile->setTextMatrix(row, 5, text);
        grdVariabile->setRowValue(row, -qAbs(grdVariabile->RowValue(row)));
    });
    m_memo = nullptr;
}

namespace {
// "1", "1 and 3", "1, 3 and 4"
QString rowList(const QList<int> &rows)
{
    QStringList n;
    for (int r : rows)
        n << QString::number(r);
    if (n.size() < 2)
        return n.join(QString());
    const QString last = n.takeLast();
    return n.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}
} // namespace

bool frmDSN::SaveGrid()
{
    const int id = m_shownDs;
    if (id == 0)
        return true;
    grdVariabile->CommitEdit();
    // Variables are bound by name (case aside): a nameless or a shared name would bind the wrong value.
    QList<int> nameless;
    QList<QString> names;
    QHash<QString, QList<int>> rowsByName;
    for (int row = 1; row < grdVariabile->Rows() - 1; ++row) {
        const QString name = grdVariabile->TextMatrix(row, 1).trimmed();
        if (name.isEmpty()) {
            nameless << row;
            continue;
        }
        const QString key = name.toCaseFolded();
        if (!rowsByName.contains(key))
            names << name;
        rowsByName[key] << row;
    }
    QStringList problems;
    int firstRow = nameless.isEmpty() ? 0 : nameless.first();
    if (!nameless.isEmpty())
        problems << (nameless.size() == 1 ? QStringLiteral("Row %1 has no name.") : QStringLiteral("Rows %1 have no name."))
                        .arg(rowList(nameless));
    for (const QString &name : names) {
        const QList<int> rows = rowsByName.value(name.toCaseFolded());
        if (rows.size() < 2)
            continue;
        problems << QStringLiteral("Rows %1 are named '%2'.").arg(rowList(rows), name);
        firstRow = firstRow == 0 ? rows.at(1) : qMin(firstRow, rows.at(1));
    }
    if (!problems.isEmpty()) {
        prompter().message(QStringLiteral("Variables are bound by their names: every variable needs a name of its own.\r")
                               + problems.join(QLatin1Char('\r')),
                           AppTitle, Prompter::Icon::Exclamation);
        grdVariabile->setCurrentCell(firstRow, 1);
        grdVariabile->setFocus();
        return false;
    }

    BusyCursor busy;
    QStringList records;
    if (!grdVariabile->GetChanges(records, 4, 5))
        return true;
    QStringList changes;
    for (const QString &r : records) {
        const int row = r.left(r.indexOf(IdNameSeparator)).toInt();
        const QString sortCell = grdVariabile->TextMatrix(row, 0);
        changes << r + IdNameSeparator + ChangeRecord::escape(grdVariabile->TextMatrix(row, 5)) + IdNameSeparator
                       + (sortCell.isEmpty() ? QStringLiteral("0") : QString::number(sortCell.toInt()));
    }
    if (App::session().SaveVariables(id, changes, grdVariabile->DeletedRows())) {
        for (const QString &c : changes) {
            const QStringList f = ChangeRecord::split(c);
            grdVariabile->setRowValue(f.at(0).toInt(), f.at(1).toInt());
        }
    }
    return true;
}

void frmDSN::cmdSave_Click()
{
    bool saved = true;
    const bool ok = RunCommand(QStringLiteral("cmdSave_Click()"), [&] { saved = SaveGrid(); });
    // A failure keeps the window open with the grid as it was; so does a name to correct.
    if (ok && saved)
        accept();
}

void frmDSN::cmdDelVar_Click()
{
    RunCommand(QStringLiteral("cmdDelVar_Click()"), [this] {
        if (grdVariabile->isEditable())
            grdVariabile->DeleteRow(grdVariabile->Row());
    });
}

void frmDSN::cmdReferences_Click()
{
    RunCommand(QStringLiteral("cmdReferences_Click()"), [this] {
        const int row = grdVariabile->Row();
        if (row < 1 || row >= grdVariabile->Rows() - 1)
            return;
        const int idVar = qAbs(grdVariabile->RowValue(row));
        if (idVar == 0) {
            prompter().message(QStringLiteral("Salvati modificarile efectuate si reveniti ..."), QStringLiteral("ZAT"),
                               Prompter::Icon::Exclamation);
            return;
        }
        QTreeWidgetItem *ds = lstDSN->currentItem();
        if (!ds)
            return;
        auto dlg = std::make_unique<frmDependences>(this);
        dlg->txtDSN->setText(ds->text(0));
        dlg->LoadReferences(ItemData::tag(ds).toInt(), idVar, true);
        if (dlg->Cancel)
            return;
        const QList<int> ids = dlg->CheckedIds();
        dlg.reset();
        QCoreApplication::processEvents();
        App::session().SaveDependences(idVar, ids);
    });
}

void frmDSN::grdVariabile_BeforeDeleteRow(bool &cancel)
{
    // When the check itself fails, the row stays.
    cancel = true;
    RunCommand(QStringLiteral("grdVariabile_BeforeDeleteRow()"), [&] {
        const int idVar = qAbs(grdVariabile->RowValue(grdVariabile->Row()));
        cancel = idVar != 0 && !App::session().GetDependenceRows(idVar, false).isEmpty();
        if (!cancel)
            return;
        prompter().message(QStringLiteral("Aceasta variabila are dependente catre alte variabile!") + QStringLiteral("\r\n")
                               + QStringLiteral("Anulati aceste dependente si incercati din nou."),
                           AppTitle, Prompter::Icon::Information);
        QTreeWidgetItem *ds = lstDSN->currentItem();
        if (!ds)
            return;
        auto dlg = std::make_unique<frmDependences>(this);
        dlg->cmdSave->setText(QStringLiteral("Remuve all dependences"));
        dlg->txtDSN->setText(ds->text(0));
        dlg->LoadReferences(ItemData::tag(ds).toInt(), idVar, false);
        if (dlg->Cancel)
            return;
        if (prompter().message(QStringLiteral("Are you sure you want to remuve all this dependences ?"), AppTitle,
                               Prompter::Icon::Question, Prompter::Buttons::YesNo)
            == Prompter::Answer::Yes) {
            App::session().DeleteDependences(idVar);
            cancel = false;
        }
    });
}

void ShowDataSources(QWidget *parent)
{
    frmDSN window(parent);
    window.exec();
}
