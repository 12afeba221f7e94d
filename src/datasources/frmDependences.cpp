#include "frmDependences.h"

#include "repository/AppError.h"
#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

static QString typeText(const QVariant &type)
{
    switch (type.isNull() ? 0 : type.toInt()) {
    case 1: return QStringLiteral("String");
    case 2: return QStringLiteral("Numeric");
    case 3: return QStringLiteral("Date");
    default: return QString();
    }
}

frmDependences::frmDependences(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDependences"));
    setWindowTitle(QStringLiteral(" Dependences"));
    auto *grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("DSN"), this), 0, 0);
    txtDSN = new QLineEdit(this);
    txtDSN->setObjectName(QStringLiteral("txtDSN"));
    txtDSN->setReadOnly(true);
    grid->addWidget(txtDSN, 0, 1);
    lstReferences = new QTreeWidget(this);
    lstReferences->setObjectName(QStringLiteral("lstReferences"));
    lstReferences->setRootIsDecorated(false);
    lstReferences->setHeaderLabels({QStringLiteral("Var name"), QStringLiteral("Description"), QStringLiteral("Type")});
    lstReferences->setColumnWidth(0, 160);
    lstReferences->setColumnWidth(1, 200);
    grid->addWidget(lstReferences, 1, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    cmdSave = new QPushButton(QStringLiteral("&Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(cmdSave, &QPushButton::clicked, this, &frmDependences::cmdSave_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmDependences::cmdCancel_Click);
    connect(lstReferences, &QTreeWidget::itemChanged, this, &frmDependences::lstReferences_ItemCheck);
    resize(480, 320);
}

void frmDependences::LoadReferences(int idDataSource, int idVariable, bool dependences)
{
    Cancel = true;
    m_idDataSource = idDataSource;
    m_idVariable = idVariable;
    m_editView = dependences;
    lstReferences->clear();
    const bool filled = RunCommand(QStringLiteral("LoadReferences()"), [&] {
        RepositorySession &session = App::session();
        const QSignalBlocker block(lstReferences);
        if (dependences) {
            for (const VariableRow &v : session.GetVariableRows(idDataSource, idVariable)) {
                auto *item = new QTreeWidgetItem(lstReferences, {v.Name, v.Caption, typeText(v.Type)});
                ItemData::setKey(item, QStringLiteral("k") + QString::number(v.IdVar));
                ItemData::setTag(item, v.IdVar);
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(0, Qt::Unchecked);
            }
            for (const DependenceRow &d : session.GetDependenceRows(idVariable, true)) {
                QTreeWidgetItem *item = ItemData::findByKey(lstReferences, QStringLiteral("k") + QString::number(d.IdVar));
                if (!item)
                    throw AppError(ErrorNumber::InvalidArgument,
                                   QStringLiteral("The variable '%1' is not a variable of this data source.").arg(d.Name));
                item->setCheckState(0, Qt::Checked);
            }
        } else {
            for (const DependenceRow &d : session.GetDependenceRows(idVariable, false)) {
                auto *item = new QTreeWidgetItem(lstReferences,
                                                 {d.Name, d.Caption, d.Type.isNull() ? QString() : d.Type.toString()});
                ItemData::setKey(item, QStringLiteral("k") + QString::number(d.IdVar));
                ItemData::setTag(item, d.IdVar);
                item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
            }
        }
    });
    if (filled)
        exec();
}

QList<int> frmDependences::CheckedIds() const
{
    QList<int> ids;
    for (int i = 0; i < lstReferences->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lstReferences->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            ids << ItemData::tag(item).toInt();
    }
    return ids;
}

void frmDependences::lstReferences_ItemCheck(QTreeWidgetItem *item, int column)
{
    if (column == 0 && item)
        lstReferences->setCurrentItem(item);
}

void frmDependences::cmdSave_Click()
{
    // A dependence cycle would leave the report engine no order to ask the variables in.
    if (m_editView) {
        bool refused = false;
        RunCommand(QStringLiteral("cmdSave_Click()"), [&] {
            const QStringList path = App::session().DependenceCycle(m_idVariable, CheckedIds());
            if (path.isEmpty())
                return;
            refused = true;
            prompter().message(QStringLiteral("The variable '%1' cannot depend on '%2', because '%2' already depends on '%1' (%3).")
                                   .arg(path.last(), path.first(), path.join(QStringLiteral(" -> "))),
                               AppTitle, Prompter::Icon::Exclamation);
        });
        if (refused)
            return;
    }
    Cancel = false;
    hide();
    accept();
}

void frmDependences::cmdCancel_Click()
{
    hide();
    reject();
}

void frmDependences::done(int result)
{
    SaveWindowPlacement(this);
    QDialog::done(result);
}
