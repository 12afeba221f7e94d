#include "UserReportsDialog.h"

#include "reportengine/UserReports.h"
#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

UserReportsDialog::UserReportsDialog(int, int, int idUserApp, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("UserReportsDialog"));
    setWindowTitle(QStringLiteral("User reports"));
    auto *label = new QLabel(QStringLiteral("User :"), this);
    cmbUser = new QComboBox(this);
    cmbUser->setObjectName(QStringLiteral("cmbUser"));
    lstReports = new QTreeWidget(this);
    lstReports->setObjectName(QStringLiteral("lstReports"));
    lstReports->setRootIsDecorated(false);
    lstReports->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Destination file"), QStringLiteral("Type"),
                                 QStringLiteral("Roles")});
    lstReports->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstReports->setSortingEnabled(true);
    lstReports->sortByColumn(-1, Qt::AscendingOrder);
    lstReports->header()->setSectionResizeMode(QHeaderView::Interactive);
    lstReports->setColumnWidth(0, 220);
    lstReports->setColumnWidth(1, 260);
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto *top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(cmbUser, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lstReports, 1);
    layout->addLayout(bottom);
    resize(720, 420);

    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    LoadUsers(idUserApp);
    connect(cmbUser, &QComboBox::currentIndexChanged, this, &UserReportsDialog::cmbUser_Click);
    cmbUser_Click();
}

void UserReportsDialog::LoadUsers(int idUserApp)
{
    cmbUser->clear();
    for (const ApplicationUser &u : ApplicationUsers(App::session().Connection()))
        ItemData::addComboItem(cmbUser, QStringLiteral("k%1").arg(u.idUserApp), u.text, u.idUserApp);
    const int at = ItemData::findComboKey(cmbUser, QStringLiteral("k%1").arg(idUserApp));
    cmbUser->setCurrentIndex(at >= 0 ? at : (cmbUser->count() > 0 ? 0 : -1));
}

void UserReportsDialog::cmbUser_Click()
{
    RunCommand(QStringLiteral("cmbUser_Click()"), [this] {
        lstReports->clear();
        if (cmbUser->currentIndex() < 0)
            return;
        const int user = cmbUser->currentData(ItemData::TagRole).toInt();
        for (const UserReportRow &r : ReportsOfUser(App::session().Connection(), user)) {
            auto *row = new QTreeWidgetItem(lstReports);
            ItemData::setKey(row, QStringLiteral("r%1").arg(r.idReport));
            ItemData::setTag(row, r.idReport);
            row->setText(0, r.name);
            row->setText(1, r.filePath);
            row->setText(2, r.version);
            row->setText(3, r.roles);
        }
    });
}

void UserReportsDialog::Show(int reserved1, int reserved2, int idUserApp, QWidget *parent)
{
    RunCommand(QStringLiteral("mnuUserRep_Click()"), [&] {
        UserReportsDialog dialog(reserved1, reserved2, idUserApp, parent);
        dialog.exec();
    });
}
