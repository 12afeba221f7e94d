#include "frmTransferLogReports.h"

#include "repository/AppError.h"
#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/Controls.h"
#include "shell/ErrorBox.h"
#include "transfer/TransferLog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmTransferLogReports::frmTransferLogReports(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmTransferLogReports"));
    setWindowTitle(QStringLiteral("Transfer history: reports"));
    lblRun = new QLabel(this);
    lblRun->setObjectName(QStringLiteral("lblRun"));
    lblRun->setWordWrap(true);
    lblRun->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lstRep = new QTreeWidget(this);
    lstRep->setObjectName(QStringLiteral("lstRep"));
    lstRep->setRootIsDecorated(false);
    lstRep->setUniformRowHeights(true);
    lstRep->setHeaderLabels({QStringLiteral("Package id"), QStringLiteral("Name"), QStringLiteral("Code"),
                             QStringLiteral("Destination id"), QStringLiteral("Action")});
    lstRep->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    cmdClose = NamedButton(this, "cmdClose", QStringLiteral("&Close"), false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblRun);
    layout->addWidget(lstRep);
    layout->addLayout(buttons);
    resize(760, 420);
    connect(cmdClose, &QPushButton::clicked, this, &frmTransferLogReports::cmdClose_Click);
}

bool frmTransferLogReports::Load(int idTransfer)
{
    BusyCursor busy;
    TransferLog::Run run;
    if (!RunCommand(QStringLiteral("lstLog_DblClick()"), [&] {
            run = TransferLog::read(App::session().Connection(), idTransfer);
            if (run.id == 0)
                throw AppError(ErrorNumber::InvalidArgument,
                               QStringLiteral("The transfer %1 is no longer in the history.").arg(idTransfer));
        }))
        return false;
    QStringList summary{QStringLiteral("%1 by %2, %3: %4.")
                            .arg(run.direction, run.user, QLocale().toString(run.started, QLocale::ShortFormat),
                                 run.outcome),
                        run.message, QStringLiteral("Package: ") + run.packagePath};
    if (!run.packageIdentity.isEmpty())
        summary << QStringLiteral("Package identity: ") + run.packageIdentity;
    if (!run.options.isEmpty())
        summary << QStringLiteral("Options: ") + run.options;
    lblRun->setText(summary.join(QLatin1Char('\n')));
    QList<QTreeWidgetItem *> items;
    items.reserve(run.lines.size());
    for (const TransferLog::Line &l : std::as_const(run.lines)) {
        auto *item = new QTreeWidgetItem({QString::number(l.packageId), l.name, l.code,
                                          l.destinationId ? QString::number(l.destinationId) : QString(), l.action});
        item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    lstRep->addTopLevelItems(items);
    return true;
}

void frmTransferLogReports::cmdClose_Click() { close(); }
