#include "frmExportMacros.h"
#include "shell/Controls.h"

#include "repository/Sql.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "transfer/export/ExportRun.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextEdit>
#include <QTreeWidget>

static QTreeWidget *listView(QWidget *parent, const char *name, const QString &header)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setHeaderLabels({header});
    list->setRootIsDecorated(false);
    return list;
}

static QTreeWidgetItem *addItem(QTreeWidget *list, int id, const QString &text)
{
    auto *item = new QTreeWidgetItem(list, QStringList{text});
    ItemData::setKey(item, QStringLiteral("k") + QString::number(id));
    ItemData::setTag(item, id);
    return item;
}

frmExportMacros::frmExportMacros(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmExportMacros"));
    setWindowTitle(QStringLiteral("Macros"));
    lstCateg = listView(this, "lstCateg", QStringLiteral("Categories"));
    lstMacro = listView(this, "lstMacro", QStringLiteral("Macros"));
    lstRefMacro = listView(this, "lstRefMacro", QStringLiteral("References"));
    txtMacro = new QTextEdit(this);
    txtMacro->setObjectName(QStringLiteral("txtMacro"));
    txtMacro->setAcceptRichText(false);
    txtMacro->setReadOnly(true);
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::Monospace);
    if (!QFontDatabase::families().contains(courier.family()))
        courier = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    txtMacro->setFont(courier);
    chkIncludeMacDep = new QCheckBox(QStringLiteral("Include macros dependences"), this);
    chkIncludeMacDep->setObjectName(QStringLiteral("chkIncludeMacDep"));
    chkIncludeMacDep->setChecked(true);
    cmdCheckAll = NamedButton(this, "cmdCheckAll", QStringLiteral("&Check All"));
    cmdClearAll = NamedButton(this, "cmdClearAll", QStringLiteral("Clear &All"));
    cmdOK = NamedButton(this, "cmdOK", QStringLiteral("OK"));
    cmdCancel = NamedButton(this, "cmdCancel", QStringLiteral("&Cancel"));

    auto *grid = new QGridLayout(this);
    grid->addWidget(lstCateg, 0, 0, 2, 1);
    grid->addWidget(lstMacro, 0, 1, 2, 1);
    grid->addWidget(txtMacro, 0, 2);
    grid->addWidget(lstRefMacro, 1, 2);
    grid->addWidget(chkIncludeMacDep, 2, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdCheckAll);
    buttons->addWidget(cmdClearAll);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setColumnStretch(2, 2);
    resize(820, 480);

    connect(lstCateg, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { lstCateg_ItemClick(item); });
    connect(lstMacro, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { lstMacro_ItemClick(item); });
    connect(lstMacro, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int) {
        if (!m_filling)
            lstMacro_ItemCheck(item);
    });
    connect(cmdCheckAll, &QPushButton::clicked, this, &frmExportMacros::cmdCheckAll_Click);
    connect(cmdClearAll, &QPushButton::clicked, this, &frmExportMacros::cmdClearAll_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmExportMacros::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmExportMacros::cmdCancel_Click);
}

void frmExportMacros::LoadMe(const QList<int> &cSelMacros, const QSqlDatabase &conn)
{
    m_db = conn;
    colSelMacros = cSelMacros;
    const bool ok = RunCommand(QStringLiteral("LoadMe()"), [&] {
        lstCateg->clear();
        addItem(lstCateg, 0, QStringLiteral("< All macros >"));
        QSqlQuery q = Sql::exec(m_db, QStringLiteral(" Select * From ZAT_CategMacros Order By Denumire"));
        while (q.next())
            addItem(lstCateg, Sql::integer(q, "IdCateg"), Sql::text(q, "Denumire"));
    });
    if (ok && lstCateg->topLevelItemCount() > 0) {
        lstCateg->setCurrentItem(lstCateg->topLevelItem(0));
        lstCateg_ItemClick(lstCateg->topLevelItem(0));
    }
    exec();
}

void frmExportMacros::addSelected(int id)
{
    if (!colSelMacros.contains(id))
        colSelMacros.append(id);
}

void frmExportMacros::tickSelected()
{
    m_filling = true;
    for (int i = 0; i < lstMacro->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lstMacro->topLevelItem(i);
        item->setCheckState(0, colSelMacros.contains(ItemData::tag(item).toInt()) ? Qt::Checked : Qt::Unchecked);
    }
    m_filling = false;
}

void frmExportMacros::lstCateg_ItemClick(QTreeWidgetItem *item)
{
    if (!item)
        return;
    RunCommand(QStringLiteral("lstCateg_ItemClick()"), [&] {
        txtMacro->clear();
        lstRefMacro->clear();
        const int categ = ItemData::tag(item).toInt();
        const QString sql = categ != 0
            ? QStringLiteral(" Select IdMacro, MacroName From ZAT_Macros Where IdCateg = %1 Order By MacroName").arg(categ)
            : QStringLiteral(" Select IdMacro, MacroName From ZAT_Macros Order By MacroName");
        QSqlQuery q = Sql::exec(m_db, sql);
        m_filling = true;
        lstMacro->clear();
        while (q.next()) {
            QTreeWidgetItem *m = addItem(lstMacro, Sql::integer(q, "IdMacro"), Sql::text(q, "MacroName"));
            m->setFlags(m->flags() | Qt::ItemIsUserCheckable);
            m->setCheckState(0, Qt::Unchecked);
        }
        m_filling = false;
        if (QTreeWidgetItem *current = lstMacro->currentItem())
            lstMacro_ItemClick(current);
    });
    tickSelected();
}

void frmExportMacros::lstMacro_ItemClick(QTreeWidgetItem *item)
{
    if (!item)
        return;
    RunCommand(QStringLiteral("lstMacro_ItemClick()"), [&] {
        const int id = ItemData::tag(item).toInt();
        setWindowTitle(QStringLiteral("Macro [") + item->text(0) + QLatin1Char(']'));
        txtMacro->clear();
        QSqlQuery body = Sql::exec(m_db, QStringLiteral("Select Body From ZAT_Macros Where IdMacro = %1").arg(id));
        if (body.next())
            txtMacro->setPlainText(Sql::text(body, "Body"));
        lstRefMacro->clear();
        QSqlQuery q = Sql::exec(m_db, QStringLiteral(" Select distinct m.IdMacro,m.MacroName "
                                                     " From ZAT_References r Inner Join ZAT_Macros m On r.IdMacro = m.IdMacro"
                                                     " Where IdSource = %1 And Tip = 'm' Order By MacroName").arg(id));
        while (q.next())
            new QTreeWidgetItem(lstRefMacro, QStringList{Sql::text(q, "MacroName")});
    });
}

void frmExportMacros::lstMacro_ItemCheck(QTreeWidgetItem *item)
{
    const int id = ItemData::tag(item).toInt();
    if (item->checkState(0) != Qt::Checked) {
        colSelMacros.removeAll(id); // what was added with it stays selected
        return;
    }
    addSelected(id);
    if (!chkIncludeMacDep->isChecked())
        return;
    RunCommand(QStringLiteral("lstMacro_ItemCheck()"), [&] {
        // Every macro reachable through references of kind "m", each once, loops included.
        for (int dep : MacroDependences(m_db, id))
            addSelected(dep);
    });
    tickSelected();
}

void frmExportMacros::cmdCheckAll_Click()
{
    colSelMacros.clear();
    for (int i = 0; i < lstMacro->topLevelItemCount(); ++i)
        addSelected(ItemData::tag(lstMacro->topLevelItem(i)).toInt());
    tickSelected();
}

void frmExportMacros::cmdClearAll_Click()
{
    colSelMacros.clear();
    tickSelected();
}

void frmExportMacros::cmdOK_Click() { accept(); }

void frmExportMacros::cmdCancel_Click() { reject(); }
