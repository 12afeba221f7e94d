#include "ImportPickers.h"

#include "repository/Sql.h"
#include "shell/ItemData.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

bool pick(QWidget *parent, const QString &title, const QString &objectName, const QStringList &headers,
          QSqlQuery q, QList<int> &ids)
{
    QDialog dlg(parent);
    dlg.setObjectName(objectName);
    dlg.setWindowTitle(title);
    auto *list = new QTreeWidget(&dlg);
    list->setObjectName(QStringLiteral("lstItems"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels(headers);
    list->header()->setSectionResizeMode(QHeaderView::Stretch);
    while (q.next()) {
        QStringList texts;
        for (int i = 1; i <= headers.size(); ++i)
            texts << q.value(i).toString();
        auto *item = new QTreeWidgetItem(list, texts);
        const int id = q.value(0).toInt();
        ItemData::setKey(item, QStringLiteral("k%1").arg(id));
        ItemData::setTag(item, id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, ids.contains(id) ? Qt::Checked : Qt::Unchecked);
    }
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    box->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    box->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    QObject::connect(box, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dlg);
    layout->addWidget(list);
    layout->addWidget(box);
    dlg.resize(480, 360);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    ids.clear();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->checkState(0) == Qt::Checked)
            ids << ItemData::tag(list->topLevelItem(i)).toInt();
    return true;
}

} // namespace

bool PickPackageDataSources(QWidget *parent, const QSqlDatabase &package, QList<int> &ids)
{
    return pick(parent, QStringLiteral("Data Sources"), QStringLiteral("frmExportDSN"),
                {QStringLiteral("Name"), QStringLiteral("Data source"), QStringLiteral("Description")},
                Sql::exec(package, QStringLiteral("Select IdDataSource, Name, DataSourceString, Description "
                                                  "From ZAT_DataSource Order By Name")),
                ids);
}

bool PickPackageMacros(QWidget *parent, const QSqlDatabase &package, QList<int> &ids)
{
    return pick(parent, QStringLiteral("Excel macros"), QStringLiteral("frmExportMacros"),
                {QStringLiteral("Macro"), QStringLiteral("Category")},
                Sql::exec(package, QStringLiteral("Select m.IdMacro, m.MacroName, c.Denumire From ZAT_Macros m "
                                                  "Left Join ZAT_CategMacros c On c.IdCateg = m.IdCateg Order By m.MacroName")),
                ids);
}
