#include "frmDrepturi.h"
#include "shell/Controls.h"

#include "frmReports.h"
#include "frmUserConfig.h"
#include "repository/RepositorySession.h"
#include "repository/Sql.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/Prompter.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kZat = QStringLiteral("ZAT");

QString userNameText(const QString &firstName, const QString &lastName)
{
    return firstName + QLatin1Char(' ') + lastName;
}

int tagOf(const QTreeWidgetItem *item) { return ItemData::tag(item).toInt(); }

QTreeWidgetItem *addRow(QTreeWidget *list, const QString &key, const QString &text, int tag)
{
    auto *item = new QTreeWidgetItem(list);
    item->setText(0, text);
    if (!key.isEmpty())
        ItemData::setKey(item, key);
    ItemData::setTag(item, tag);
    return item;
}

QTreeWidgetItem *findByText(QTreeWidget *list, const QString &text)
{
    const QString wanted = text.trimmed().toCaseFolded();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0).trimmed().toCaseFolded() == wanted)
            return list->topLevelItem(i);
    return nullptr;
}

} // namespace

frmDrepturi::frmDrepturi(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDrepturi"));
    setWindowTitle(QStringLiteral("  Drepturi"));
    auto button = [this](const char *name, const QString &text, const QString &tip = {}) {
        QPushButton *b = NamedButton(this, name, text, false);
        b->setToolTip(tip);
        return b;
    };
    auto list = [this](const char *name, const QStringList &columns) {
        auto *l = new QTreeWidget(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setRootIsDecorated(false);
        l->setColumnCount(int(columns.size()));
        l->setHeaderLabels(columns);
        l->header()->setSectionsClickable(true);
        l->header()->setSortIndicatorShown(false);
        connect(l->header(), &QHeaderView::sectionClicked, this, [this, l](int column) { sortByHeader(l, column); });
        return l;
    };

    cmbCliApp = new QComboBox(this);
    cmbCliApp->setObjectName(QStringLiteral("cmbCliApp"));
    cmbCliApp->setMinimumWidth(220);
    cmdAddApp = button("cmdAddApp", QStringLiteral("New"), QStringLiteral("New client application"));
    cmdDelApp = button("cmdDelApp", QStringLiteral("Delete"), QStringLiteral("Delete client application"));
    cmdRenameApp = button("cmdRenameApp", QStringLiteral("Rename"), QStringLiteral("Rename client application"));
    lblAppID = new QLabel(this);
    lblAppID->setObjectName(QStringLiteral("lblAppID"));
    lblAppID->hide(); // the id means nothing to the user; the window keeps it for itself

    lstUsers = list("lstUsers", {QStringLiteral("User"), QStringLiteral("User Name")});
    cmdAddUser = button("cmdAddUser", QStringLiteral("New"), QStringLiteral("New user"));
    cmdDelUser = button("cmdDelUser", QStringLiteral("Delete"), QStringLiteral("Delete user"));
    lstRoles = list("lstRoles", {QStringLiteral("Role")});
    cmdSaveUsrRole = button("cmdSaveUsrRole", QStringLiteral("Save"), QStringLiteral("Save the roles of the user"));
    lstConfigRoles = list("lstConfigRoles", {QStringLiteral("Role")});
    cmdAddRole = button("cmdAddRole", QStringLiteral("New"), QStringLiteral("New role"));
    cmdDeleteRole = button("cmdDeleteRole", QStringLiteral("Delete"), QStringLiteral("Delete role"));
    cmdRenameRole = button("cmdRenameRole", QStringLiteral("Rename"), QStringLiteral("Rename role"));
    lstReports = list("lstReports", {QStringLiteral("Report")});
    cmdAddReport = button("cmdAddReport", QStringLiteral("..."), QStringLiteral("Reports of the role"));
    cmdClose = button("cmdClose", QStringLiteral("&Close"));

    auto group = [this](const QString &caption, QTreeWidget *l, const QList<QPushButton *> &buttons) {
        auto *box = new QGroupBox(caption, this);
        auto *v = new QVBoxLayout(box);
        v->addWidget(l);
        auto *h = new QHBoxLayout;
        h->addStretch();
        for (QPushButton *b : buttons)
            h->addWidget(b);
        v->addLayout(h);
        return box;
    };
    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    auto *rightsTab = new QWidget;
    auto *rightsLayout = new QHBoxLayout(rightsTab);
    rightsLayout->addWidget(group(QStringLiteral("Users"), lstUsers, {cmdAddUser, cmdDelUser}), 3);
    rightsLayout->addWidget(group(QStringLiteral("Roles"), lstRoles, {cmdSaveUsrRole}), 2);
    auto *rolesTab = new QWidget;
    auto *rolesLayout = new QHBoxLayout(rolesTab);
    rolesLayout->addWidget(group(QStringLiteral("Roles"), lstConfigRoles, {cmdAddRole, cmdRenameRole, cmdDeleteRole}), 2);
    rolesLayout->addWidget(group(QStringLiteral("Reports"), lstReports, {cmdAddReport}), 3);
    SSTab1->addTab(rightsTab, QStringLiteral("   User rights"));
    SSTab1->addTab(rolesTab, QStringLiteral("   Roles"));

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Client app"), this));
    top->addWidget(cmbCliApp, 1);
    top->addWidget(cmdAddApp);
    top->addWidget(cmdRenameApp);
    top->addWidget(cmdDelApp);
    top->addWidget(lblAppID);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(SSTab1, 1);
    layout->addLayout(bottom);
    resize(640, 440);

    // Programmatic changes block these signals and call the handlers themselves.
    connect(cmbCliApp, &QComboBox::currentIndexChanged, this, [this] { cmbCliApp_Click(); });
    connect(lstUsers, &QTreeWidget::currentItemChanged, this, [this] { lstUsers_ItemClick(); });
    connect(lstUsers, &QTreeWidget::itemDoubleClicked, this, [this] { lstUsers_DblClick(); });
    connect(lstRoles, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item) { lstRoles_ItemCheck(item); });
    connect(lstConfigRoles, &QTreeWidget::currentItemChanged, this, [this] { lstConfigRoles_Click(); });
    connect(lstConfigRoles, &QTreeWidget::itemDoubleClicked, this, [this] { cmdAddReport_Click(); });
    connect(cmdAddApp, &QPushButton::clicked, this, &frmDrepturi::cmdAddApp_Click);
    connect(cmdDelApp, &QPushButton::clicked, this, &frmDrepturi::cmdDelApp_Click);
    connect(cmdRenameApp, &QPushButton::clicked, this, &frmDrepturi::cmdRenameApp_Click);
    connect(cmdRenameRole, &QPushButton::clicked, this, &frmDrepturi::cmdRenameRole_Click);
    connect(cmdAddUser, &QPushButton::clicked, this, &frmDrepturi::cmdAddUser_Click);
    connect(cmdDelUser, &QPushButton::clicked, this, &frmDrepturi::cmdDelUser_Click);
    connect(cmdSaveUsrRole, &QPushButton::clicked, this, &frmDrepturi::cmdSaveUsrRole_Click);
    connect(cmdAddRole, &QPushButton::clicked, this, &frmDrepturi::cmdAddRole_Click);
    connect(cmdDeleteRole, &QPushButton::clicked, this, &frmDrepturi::cmdDeleteRole_Click);
    connect(cmdAddReport, &QPushButton::clicked, this, &frmDrepturi::cmdAddReport_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmDrepturi::cmdClose_Click);
}

void frmDrepturi::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
}

int frmDrepturi::selectedAppId() const
{
    const int index = cmbCliApp->currentIndex();
    return index < 0 ? 0 : cmbCliApp->itemData(index, ItemData::TagRole).toInt();
}

void frmDrepturi::Form_Load()
{
    RunCommand(QStringLiteral("Form_Load()"), [this] {
        BusyCursor busy;
        SSTab1->setCurrentIndex(0);
        RepositorySession &session = App::session();
        {
            const QSignalBlocker b1(cmbCliApp), b2(lstRoles), b3(lstConfigRoles);
            cmbCliApp->clear();
            lstRoles->clear();
            lstConfigRoles->clear();
            QSqlQuery apps = session.GetApplicationRows();
            while (apps.next()) {
                const int id = Sql::integer(apps, "IdApp");
                ItemData::addComboItem(cmbCliApp, QStringLiteral("k") + QString::number(id), Sql::text(apps, "AppName"), id);
            }
            cmbCliApp->setCurrentIndex(-1);
            QSqlQuery roles = session.GetRoleRows(0);
            while (roles.next()) {
                const int id = Sql::integer(roles, "IdRole");
                const QString name = Sql::text(roles, "Role");
                QTreeWidgetItem *item = addRow(lstRoles, QStringLiteral("k") + QString::number(id), name, id);
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(0, Qt::Unchecked);
                addRow(lstConfigRoles, QString(), name, id);
            }
        }
        if (lstConfigRoles->topLevelItemCount() > 0) {
            const QSignalBlocker b(lstConfigRoles);
            lstRoles->setCurrentItem(lstRoles->topLevelItem(0));
            lstConfigRoles->setCurrentItem(lstConfigRoles->topLevelItem(0));
        }
        LoadReports();
        if (cmbCliApp->count() > 0) {
            {
                const QSignalBlocker b(cmbCliApp);
                cmbCliApp->setCurrentIndex(0);
            }
            chooseApplication();
        }
    });
}

void frmDrepturi::untickRoles()
{
    const QSignalBlocker b(lstRoles);
    for (int i = 0; i < lstRoles->topLevelItemCount(); ++i)
        lstRoles->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
}

void frmDrepturi::cmbCliApp_Click()
{
    RunCommand(QStringLiteral("cmbCliApp_Click()"), [this] { chooseApplication(); });
}

void frmDrepturi::chooseApplication()
{
    const int index = cmbCliApp->currentIndex();
    if (index < 0)
        return;
    const int idApp = selectedAppId();
    lblAppID->setText(QString::number(idApp));
    {
        const QSignalBlocker b(lstUsers);
        lstUsers->clear();
    }
    untickRoles();
    QSqlQuery q = App::session().GetApplicationUserRows(idApp);
    {
        const QSignalBlocker b(lstUsers);
        while (q.next()) {
            QTreeWidgetItem *item = addRow(lstUsers, QString(), Sql::text(q, "User"), Sql::integer(q, "IdUserApp"));
            item->setText(1, userNameText(Sql::text(q, "UserFName"), Sql::text(q, "UserLName")));
        }
        if (lstUsers->topLevelItemCount() > 0)
            lstUsers->setCurrentItem(lstUsers->topLevelItem(0));
    }
    if (lstUsers->currentItem())
        chooseUser();
}

void frmDrepturi::lstUsers_ItemClick()
{
    RunCommand(QStringLiteral("lstUsers_ItemClick()"), [this] { chooseUser(); });
}

void frmDrepturi::chooseUser()
{
    // Ticks always describe the user on screen, so a save never gives one user another's roles.
    untickRoles();
    QTreeWidgetItem *user = lstUsers->currentItem();
    if (!user)
        return;
    QSqlQuery q = App::session().GetRoleRows(tagOf(user));
    const QSignalBlocker b(lstRoles);
    while (q.next()) {
        const int id = Sql::integer(q, "IdRole");
        if (id <= 0)
            continue;
        if (QTreeWidgetItem *role = ItemData::findByKey(lstRoles, QStringLiteral("k") + QString::number(id)))
            role->setCheckState(0, Qt::Checked);
    }
}

void frmDrepturi::lstRoles_ItemCheck(QTreeWidgetItem *item)
{
    if (item)
        lstRoles->setCurrentItem(item);
}

void frmDrepturi::cmdSaveUsrRole_Click()
{
    RunCommand(QStringLiteral("cmdSaveUsrRole_Click()"), [this] {
        QTreeWidgetItem *user = lstUsers->currentItem();
        if (!user)
            return;
        QList<int> roles;
        for (int i = 0; i < lstRoles->topLevelItemCount(); ++i)
            if (lstRoles->topLevelItem(i)->checkState(0) == Qt::Checked)
                roles.append(tagOf(lstRoles->topLevelItem(i)));
        App::session().SaveUserRoles(tagOf(user), roles);
    });
}

void frmDrepturi::cmdAddApp_Click()
{
    RunCommand(QStringLiteral("cmdAddApp_Click()"), [this] {
        const QString name = prompter().inputText(QStringLiteral("Enter application name :"), kZat, QString());
        if (name.isEmpty())
            return;
        const int id = App::session().AddApplication(name);
        int index = -1;
        if (id > 0) {
            const QSignalBlocker b(cmbCliApp);
            ItemData::addComboItem(cmbCliApp, QStringLiteral("k") + QString::number(id), name, id);
            index = cmbCliApp->count() - 1;
        } else {
            // A taken name: show the application that already has it.
            for (int i = 0; i < cmbCliApp->count() && index < 0; ++i)
                if (cmbCliApp->itemText(i).trimmed().toCaseFolded() == name.trimmed().toCaseFolded())
                    index = i;
        }
        if (index < 0)
            return;
        {
            const QSignalBlocker b(cmbCliApp);
            cmbCliApp->setCurrentIndex(index);
        }
        chooseApplication();
    });
}

void frmDrepturi::cmdRenameApp_Click()
{
    RunCommand(QStringLiteral("cmdRenameApp_Click()"), [this] {
        const int index = cmbCliApp->currentIndex();
        if (index < 0)
            return;
        const QString name = prompter().inputText(QStringLiteral("Modify application name :"), kZat, cmbCliApp->itemText(index));
        if (name.trimmed().isEmpty() || name == cmbCliApp->itemText(index))
            return;
        if (!App::session().RenameApplication(selectedAppId(), name)) {
            prompter().message(QStringLiteral("Another client application is already named '%1'.").arg(name.trimmed()),
                               kZat, Prompter::Icon::Exclamation);
            return;
        }
        cmbCliApp->setItemText(index, name);
    });
}

void frmDrepturi::cmdDelApp_Click()
{
    RunCommand(QStringLiteral("cmdDelApp_Click()"), [this] {
        const int index = cmbCliApp->currentIndex();
        if (index < 0)
            return;
        QString text = QStringLiteral("Are you sure you want to delete client application '") +
                       cmbCliApp->itemText(index) + QStringLiteral("'\r\n and all associated users?");
        RepositorySession &session = App::session();
        // The console keeps its administrators in its own application: say that they go with it.
        if (selectedAppId() == session.ConsoleApplicationId())
            text = QStringLiteral("'%1' is the console's own client application: deleting it also deletes the "
                                  "administrators' users, among them the one you are logged in as ('%2').\r\n")
                       .arg(cmbCliApp->itemText(index), session.LoginName())
                 + text;
        if (prompter().message(text, kZat, Prompter::Icon::Exclamation, Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
            return;
        if (!session.DeleteApplication(selectedAppId()))
            return;
        {
            const QSignalBlocker b(cmbCliApp);
            cmbCliApp->removeItem(index);
            cmbCliApp->setCurrentIndex(cmbCliApp->count() > 0 ? 0 : -1);
        }
        lblAppID->clear();
        if (cmbCliApp->count() > 0) {
            chooseApplication();
        } else {
            const QSignalBlocker b(lstUsers);
            lstUsers->clear(); // the users of the application that is gone
            untickRoles();
        }
    });
}

void frmDrepturi::cmdAddUser_Click()
{
    RunCommand(QStringLiteral("cmdAddUser_Click()"), [this] {
        if (cmbCliApp->currentIndex() < 0) {
            prompter().message(QStringLiteral("Select client application!"), AppTitle, Prompter::Icon::Exclamation);
            return;
        }
        frmUserConfig dialog(this);
        dialog.AppId = selectedAppId();
        int id = 0;
        dialog.LoadMe(id);
        if (dialog.Cancel)
            return;
        const int newId = App::session().SaveUser(0, dialog.txtExternalID->value(), dialog.txtUser->text(),
                                                  dialog.txtFName->text(), dialog.txtLName->text(),
                                                  dialog.txtPass->text(), selectedAppId());
        QTreeWidgetItem *item;
        {
            const QSignalBlocker b(lstUsers);
            item = addRow(lstUsers, QString(), dialog.txtUser->text(), newId);
            item->setText(1, userNameText(dialog.txtFName->text(), dialog.txtLName->text()));
            lstUsers->setCurrentItem(item);
        }
        lstUsers->scrollToItem(item);
        chooseUser();
    });
}

void frmDrepturi::lstUsers_DblClick()
{
    RunCommand(QStringLiteral("lstUsers_DblClick()"), [this] {
        QTreeWidgetItem *user = lstUsers->currentItem();
        if (!user || cmbCliApp->currentIndex() < 0)
            return;
        frmUserConfig dialog(this);
        dialog.AppId = selectedAppId();
        int id = tagOf(user);
        dialog.LoadMe(id);
        if (dialog.Cancel)
            return;
        App::session().SaveUser(id, dialog.txtExternalID->value(), dialog.txtUser->text(), dialog.txtFName->text(),
                                dialog.txtLName->text(), dialog.txtPass->text(), selectedAppId());
        user->setText(0, dialog.txtUser->text());
        user->setText(1, userNameText(dialog.txtFName->text(), dialog.txtLName->text()));
    });
}

void frmDrepturi::cmdDelUser_Click()
{
    RunCommand(QStringLiteral("cmdDelUser_Click()"), [this] {
        QTreeWidgetItem *user = lstUsers->currentItem();
        if (!user)
            return;
        const QString text = QStringLiteral("Are you sure you want to delete user '") + user->text(0) + QStringLiteral("'?");
        if (prompter().message(text, AppTitle, Prompter::Icon::Question, Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
            return;
        App::session().DeleteUser(tagOf(user));
        {
            const QSignalBlocker b(lstUsers);
            delete user;
        }
        chooseUser();
    });
}

void frmDrepturi::selectRole(int idRole)
{
    const QSignalBlocker b(lstConfigRoles);
    QTreeWidgetItem *role = ItemData::findByKey(lstRoles, QStringLiteral("k") + QString::number(idRole));
    lstRoles->setCurrentItem(role);
    if (role)
        lstRoles->scrollToItem(role);
    QTreeWidgetItem *config = nullptr;
    for (int i = 0; i < lstConfigRoles->topLevelItemCount() && !config; ++i)
        if (tagOf(lstConfigRoles->topLevelItem(i)) == idRole)
            config = lstConfigRoles->topLevelItem(i);
    lstConfigRoles->setCurrentItem(config);
    if (config)
        lstConfigRoles->scrollToItem(config);
}

void frmDrepturi::cmdAddRole_Click()
{
    RunCommand(QStringLiteral("cmdAddRole_Click()"), [this] {
        const QString name = prompter().inputText(QStringLiteral("Enter role name :"), kZat, QString());
        if (name.isEmpty())
            return;
        int id = App::session().AddRole(name);
        if (id > 0) {
            const QSignalBlocker b1(lstRoles), b2(lstConfigRoles);
            QTreeWidgetItem *item = addRow(lstRoles, QStringLiteral("k") + QString::number(id), name, id);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            addRow(lstConfigRoles, QString(), name, id);
        } else if (QTreeWidgetItem *taken = findByText(lstConfigRoles, name)) {
            id = tagOf(taken); // a taken name: show the role that already has it
        } else {
            return;
        }
        selectRole(id);
        LoadReports();
    });
}

void frmDrepturi::cmdRenameRole_Click()
{
    RunCommand(QStringLiteral("cmdRenameRole_Click()"), [this] {
        QTreeWidgetItem *role = lstConfigRoles->currentItem();
        if (!role)
            return;
        const QString name = prompter().inputText(QStringLiteral("Modify role name :"), kZat, role->text(0));
        if (name.trimmed().isEmpty() || name == role->text(0))
            return;
        const int id = tagOf(role);
        if (!App::session().RenameRole(id, name)) {
            prompter().message(QStringLiteral("Another role is already named '%1'.").arg(name.trimmed()), kZat,
                               Prompter::Icon::Exclamation);
            return;
        }
        const QSignalBlocker b(lstRoles);
        role->setText(0, name);
        if (QTreeWidgetItem *tick = ItemData::findByKey(lstRoles, QStringLiteral("k") + QString::number(id)))
            tick->setText(0, name);
    });
}

void frmDrepturi::cmdDeleteRole_Click()
{
    RunCommand(QStringLiteral("cmdDeleteRole_Click()"), [this] {
        QTreeWidgetItem *role = lstConfigRoles->currentItem();
        if (!role)
            return;
        const int id = tagOf(role);
        const QString text = QStringLiteral("Are you sure you want to delete role '") + role->text(0) + QStringLiteral("'?");
        if (prompter().message(text, kZat, Prompter::Icon::Exclamation, Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
            return;
        if (!App::session().DeleteRole(id))
            return;
        {
            const QSignalBlocker b1(lstRoles), b2(lstConfigRoles);
            delete ItemData::findByKey(lstRoles, QStringLiteral("k") + QString::number(id));
            delete role;
        }
        if (lstConfigRoles->topLevelItemCount() == 0) {
            const QSignalBlocker b(lstConfigRoles);
            lstRoles->setCurrentItem(nullptr);
            lstConfigRoles->setCurrentItem(nullptr);
        } else {
            selectRole(tagOf(lstConfigRoles->topLevelItem(0)));
        }
        LoadReports();
    });
}

void frmDrepturi::lstConfigRoles_Click() { LoadReports(); }

void frmDrepturi::LoadReports()
{
    RunCommand(QStringLiteral("frmMain.LoadReports()"), [this] {
        lstReports->clear();
        QTreeWidgetItem *role = lstConfigRoles->currentItem();
        if (!role)
            return;
        for (const ReportRow &r : App::session().GetReportRows(-1, tagOf(role)))
            addRow(lstReports, QString(), r.Name, r.IdReport);
    });
}

void frmDrepturi::cmdAddReport_Click()
{
    RunCommand(QStringLiteral("cmdAddReport_Click()"), [this] {
        QTreeWidgetItem *role = lstConfigRoles->currentItem();
        if (!role)
            return;
        {
            frmReports window(this);
            window.RoleName = role->text(0);
            window.LoadMe(tagOf(role));
        }
        LoadReports();
        cmdAddReport->setFocus();
    });
}

void frmDrepturi::sortByHeader(QTreeWidget *list, int column)
{
    const bool ascending = !(list->property("sortColumn").toInt() == column && list->property("sortAscending").toBool());
    list->setProperty("sortColumn", column);
    list->setProperty("sortAscending", ascending);
    const Qt::SortOrder order = ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    const QSignalBlocker b(list);
    list->sortItems(column, order);
    list->header()->setSortIndicatorShown(true);
    list->header()->setSortIndicator(column, order);
}

void frmDrepturi::cmdClose_Click() { accept(); }
