#include "frmExportDSN.h"
#include "shell/Controls.h"

#include "repository/Sql.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmExportDSN::frmExportDSN(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmExportDSN"));
    setWindowTitle(QStringLiteral("Data Sources"));
    lstDSN = new QTreeWidget(this);
    lstDSN->setObjectName(QStringLiteral("lstDSN"));
    lstDSN->setRootIsDecorated(false);
    lstDSN->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Connection String"), QStringLiteral("Description"),
                             QString()});
    cmdCheckAll = NamedButton(this, "cmdCheckAll", QStringLiteral("&Check All"));
    cmdClearAll = NamedButton(this, "cmdClearAll", QStringLiteral("Clear &All"));
    cmdOK = NamedButton(this, "cmdOK", QStringLiteral("OK"));
    cmdCancel = NamedButton(this, "cmdCancel", QStringLiteral("&Cancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdCheckAll);
    buttons->addWidget(cmdClearAll);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lstDSN, 1);
    layout->addLayout(buttons);
    resize(700, 400);

    connect(cmdCheckAll, &QPushButton::clicked, this, &frmExportDSN::cmdCheckAll_Click);
    connect(cmdClearAll, &QPushButton::clicked, this, &frmExportDSN::cmdClearAll_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmExportDSN::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmExportDSN::cmdCancel_Click);
}

void frmExportDSN::LoadDSN(const QList<int> &cDSN, const QSqlDatabase &conn)
{
    colDSN = cDSN;
    RunCommand(QStringLiteral("LoadDSN()"), [&] {
        lstDSN->clear();
        QSqlQuery q = Sql::exec(conn, QStringLiteral(" Select * From ZAT_DataSource Order By Name"));
        while (q.next()) {
            const int id = Sql::integer(q, "IdDataSource");
            const QVariant jet = q.value("IsJet");
            const QVariant description = q.value("Description");
            auto *item = new QTreeWidgetItem(
                lstDSN, QStringList{Sql::text(q, "Name"), Sql::text(q, "DataSourceString"),
                                    description.isNull() ? QStringLiteral(" ") : description.toString(),
                                    jet.isNull() ? QString() : jet.toInt() == 0 ? QStringLiteral("No") : QStringLiteral("Yes")});
            ItemData::setKey(item, QStringLiteral("k") + QString::number(id));
            ItemData::setTag(item, id);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, colDSN.contains(id) ? Qt::Checked : Qt::Unchecked);
        }
    });
    exec();
}

void frmExportDSN::cmdCheckAll_Click()
{
    for (int i = 0; i < lstDSN->topLevelItemCount(); ++i)
        lstDSN->topLevelItem(i)->setCheckState(0, Qt::Checked);
}

void frmExportDSN::cmdClearAll_Click()
{
    for (int i = 0; i < lstDSN->topLevelItemCount(); ++i)
        lstDSN->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
}

void frmExportDSN::cmdOK_Click()
{
    QList<int> chosen;
    for (int i = 0; i < lstDSN->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lstDSN->topLevelItem(i);
        const int id = ItemData::tag(item).toInt();
        if (item->checkState(0) == Qt::Checked && !chosen.contains(id))
            chosen.append(id);
    }
    colDSN = chosen;
    accept();
}

void frmExportDSN::cmdCancel_Click() { reject(); }
