#include "frmSyncronize.h"
#include "shell/Controls.h"

#include "repository/AppError.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "transfer/import/SyncPairing.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmSyncronize::frmSyncronize(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSyncronize"));
    setWindowTitle(QStringLiteral("Syncronize Reports"));
    lstRep = new QTreeWidget(this);
    lstRep->setObjectName(QStringLiteral("lstRep"));
    lstRep->setRootIsDecorated(false);
    lstRep->setHeaderLabels({QStringLiteral("Source Report"), QStringLiteral("Destination Report")});
    lstRep->header()->setSectionResizeMode(QHeaderView::Stretch);
    cmdCheckAll = NamedButton(this, "cmdCheckAll", QStringLiteral("&Check All"), false);
    cmdClearAll = NamedButton(this, "cmdClearAll", QStringLiteral("Clear &All"), false);
    cmdOK = NamedButton(this, "cmdOK", QStringLiteral("OK"), false);
    cmdCancel = NamedButton(this, "cmdCancel", QStringLiteral("&Cancel"), false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdCheckAll);
    buttons->addWidget(cmdClearAll);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lstRep);
    layout->addLayout(buttons);
    resize(560, 420);
    connect(cmdCheckAll, &QPushButton::clicked, this, &frmSyncronize::cmdCheckAll_Click);
    connect(cmdClearAll, &QPushButton::clicked, this, &frmSyncronize::cmdClearAll_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmSyncronize::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSyncronize::cmdCancel_Click);
}

bool frmSyncronize::LoadMe(const QSqlDatabase &conn, const QSqlDatabase &connMDB, const SyncPairs &cSyncRep)
{
    colSyncRep = cSyncRep;
    lstRep->clear();
    QList<SyncCandidate> candidates;
    if (!RunCommand(QStringLiteral("LoadMe()"), [&] { candidates = LoadSyncCandidates(connMDB, conn); }))
        return false;
    int position = 0;
    for (const SyncCandidate &c : candidates) {
        ++position;
        auto *item = new QTreeWidgetItem(lstRep, {c.name, c.partnerName});
        // A report without code is keyed by its position, so that it can still be ticked.
        ItemData::setKey(item, QStringLiteral("k") + (c.code.isEmpty() ? QString::number(position) : c.code));
        ItemData::setTag(item, c.idReport);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        if (c.partnerId != 0) {
            QFont bold = item->font(0);
            bold.setBold(true);
            item->setFont(0, bold);
            item->setFont(1, bold);
            item->setForeground(0, QColor(0, 0, 255));
            item->setForeground(1, QColor(0, 128, 0));
        }
    }
    for (const auto &pair : colSyncRep)
        if (QTreeWidgetItem *item = ItemData::findByKey(lstRep, QStringLiteral("k") + pair.second))
            item->setCheckState(0, Qt::Checked);
    exec();
    return true;
}

void frmSyncronize::cmdCheckAll_Click()
{
    for (int i = 0; i < lstRep->topLevelItemCount(); ++i)
        lstRep->topLevelItem(i)->setCheckState(0, Qt::Checked);
}

void frmSyncronize::cmdClearAll_Click()
{
    for (int i = 0; i < lstRep->topLevelItemCount(); ++i)
        lstRep->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
}

void frmSyncronize::cmdOK_Click()
{
    SyncPairs pairs;
    for (int i = 0; i < lstRep->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lstRep->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            pairs << qMakePair(ItemData::tag(item).toInt(), ItemData::key(item).mid(1));
    }
    colSyncRep = pairs;
    accept();
}

void frmSyncronize::cmdCancel_Click() { reject(); }
