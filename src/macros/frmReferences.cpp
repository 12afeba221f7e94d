#include "frmReferences.h"

#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/MacroFillers.h"
#include "shell/Settings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

frmReferences::frmReferences(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmReferences"));
    setWindowTitle(QStringLiteral("References"));
    resize(420, 420);

    lblCateg = new QLabel(QStringLiteral("Category"), this);
    lblCateg->setObjectName(QStringLiteral("lblCateg"));
    cmbCateg = new QComboBox(this);
    cmbCateg->setObjectName(QStringLiteral("cmbCateg"));
    lstMacro = new QTreeWidget(this);
    lstMacro->setObjectName(QStringLiteral("lstMacro"));
    lstMacro->setHeaderLabels({QStringLiteral("Macro name")});
    lstMacro->setRootIsDecorated(false);
    lstMacro->setUniformRowHeights(true);
    cmdOK = new QPushButton(QStringLiteral("&Save"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdEdit = new QPushButton(QStringLiteral("&Edit"), this);
    cmdEdit->setObjectName(QStringLiteral("cmdEdit"));
    for (QPushButton *b : {cmdOK, cmdCancel, cmdEdit})
        b->setAutoDefault(false);

    auto *grid = new QGridLayout(this);
    grid->addWidget(lblCateg, 0, 0);
    grid->addWidget(cmbCateg, 0, 1);
    grid->addWidget(lstMacro, 1, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdEdit);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(cmbCateg, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            RunCommand(QStringLiteral("cmbCateg_Click()"), [this] { cmbCateg_Click(); });
    });
    connect(cmdOK, &QPushButton::clicked, this, &frmReferences::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmReferences::cmdCancel_Click);
}

frmReferences::~frmReferences()
{
    try {
        SaveWindowPlacement(this);
    } catch (...) {
        // Placement is a courtesy; the dialog closes in any case.
    }
}

void frmReferences::LoadMe()
{
    Cancel = true;
    m_filling = true;
    try {
        FillMacroCategories(cmbCateg);
    } catch (...) {
        m_filling = false;
        throw;
    }
    m_filling = false;
    if (cmbCateg->currentIndex() >= 0)
        cmbCateg_Click();
}

void frmReferences::AddReference(int id)
{
    const QString key = QStringLiteral("k") + QString::number(id);
    if (!colReferences.contains(key))
        colReferences.insert(key, id);
}

void frmReferences::RemoveReference(int id) { colReferences.remove(QStringLiteral("k") + QString::number(id)); }

void frmReferences::CollectTicks()
{
    for (int i = 0; i < lstMacro->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lstMacro->topLevelItem(i);
        const int id = ItemData::tag(item).toInt();
        if (item->checkState(0) == Qt::Checked)
            AddReference(id);
        else
            RemoveReference(id);
    }
}

void frmReferences::TickReferences()
{
    for (int i = 0; i < lstMacro->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lstMacro->topLevelItem(i);
        if (colReferences.contains(ItemData::key(item)))
            item->setCheckState(0, Qt::Checked);
    }
}

void frmReferences::cmbCateg_Click()
{
    const int index = cmbCateg->currentIndex();
    if (index < 0)
        return;
    CollectTicks();
    FillMacroList(cmbCateg->itemData(index, ItemData::TagRole).toInt(), lstMacro);
    for (int i = 0; i < lstMacro->topLevelItemCount(); ++i)
        lstMacro->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    TickReferences();
}

void frmReferences::cmdOK_Click()
{
    CollectTicks();
    Cancel = false;
    accept();
}

void frmReferences::cmdCancel_Click()
{
    Cancel = true;
    reject();
}

frmReferences::Outcome frmReferences::EditReferences(int sourceId, const QString &tip, QWidget *parent)
{
    frmReferences dialog(parent);
    dialog.cmdEdit->hide();
    dialog.LoadMe();
    const QStringList current = App::session().GetReferencedMacros(sourceId, tip);
    for (const QString &entry : current)
        dialog.AddReference(ItemData::splitIdAndName(entry).id);
    dialog.TickReferences();
    dialog.exec();
    if (dialog.Cancel)
        return Outcome::Cancelled;
    return App::session().SaveReferences(sourceId, dialog.colReferences.values(), tip) ? Outcome::Saved
                                                                                       : Outcome::SourceMissing;
}
