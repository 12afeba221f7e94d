#include "frmTransferLog.h"
#include "frmTransferLogReports.h"

#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/Controls.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "transfer/TransferLog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmTransferLog::frmTransferLog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmTransferLog"));
    setWindowTitle(QStringLiteral("Transfer history"));
    txtFilter = new QLineEdit(this);
    txtFilter->setObjectName(QStringLiteral("txtFilter"));
    txtFilter->setClearButtonEnabled(true);
    auto *lblFilter = new QLabel(QStringLiteral("&Filter:"), this);
    lblFilter->setBuddy(txtFilter);
    lstLog = new QTreeWidget(this);
    lstLog->setObjectName(QStringLiteral("lstLog"));
    lstLog->setRootIsDecorated(false);
    lstLog->setUniformRowHeights(true);
    lstLog->setHeaderLabels({QStringLiteral("When"), QStringLiteral("User"), QStringLiteral("Direction"),
                             QStringLiteral("Outcome"), QStringLiteral("Reports"), QStringLiteral("Package"),
                             QStringLiteral("Message")});
    lstLog->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    cmdClose = NamedButton(this, "cmdClose", QStringLiteral("&Close"), false);
    auto *filter = new QHBoxLayout;
    filter->addWidget(lblFilter);
    filter->addWidget(txtFilter);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filter);
    layout->addWidget(lstLog);
    layout->addLayout(buttons);
    resize(820, 440);
    connect(txtFilter, &QLineEdit::textChanged, this, &frmTransferLog::txtFilter_Change);
    connect(lstLog, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { lstLog_DblClick(item); });
    connect(cmdClose, &QPushButton::clicked, this, &frmTransferLog::cmdClose_Click);
}

void frmTransferLog::LoadMe()
{
    LoadList();
    exec();
}

void frmTransferLog::LoadList()
{
    BusyCursor busy;
    lstLog->clear();
    QList<TransferLog::Run> runs;
    if (!RunCommand(QStringLiteral("LoadList()"),
                    [&] { runs = TransferLog::list(App::session().Connection(), txtFilter->text()); }))
        return;
    QList<QTreeWidgetItem *> items;
    items.reserve(runs.size());
    const QLocale locale;
    for (const TransferLog::Run &r : std::as_const(runs)) {
        auto *item = new QTreeWidgetItem({locale.toString(r.started, QLocale::ShortFormat), r.user, r.direction,
                                          r.outcome, QString::number(r.counts.reports), r.packagePath,
                                          r.message});
        ItemData::setTag(item, r.id);
        item->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(5, r.packageIdentity.isEmpty() ? r.packagePath
                                                        : r.packagePath + QLatin1Char('\n') + r.packageIdentity);
        item->setToolTip(6, r.message);
        items << item;
    }
    lstLog->addTopLevelItems(items);
}

void frmTransferLog::txtFilter_Change() { LoadList(); }

void frmTransferLog::lstLog_DblClick(QTreeWidgetItem *item)
{
    if (!item)
        return;
    frmTransferLogReports lines(this);
    if (lines.Load(ItemData::tag(item).toInt()))
        lines.exec();
}

void frmTransferLog::cmdClose_Click() { close(); }

void ShowTransferLog(QWidget *parent)
{
    frmTransferLog window(parent);
    window.LoadMe();
}
