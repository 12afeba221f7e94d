#include "frmUserConfig.h"

#include "repository/RepositorySession.h"
#include "repository/Scramble.h"
#include "repository/Sql.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/Prompter.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>

frmUserConfig::frmUserConfig(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmUserConfig"));
    setWindowTitle(QStringLiteral(" User"));
    auto make = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    txtFName = make("txtFName");
    txtLName = make("txtLName");
    txtUser = make("txtUser");
    txtPass = make("txtPass");
    txtPass->setEchoMode(QLineEdit::Password);
    txtPass1 = make("txtPass1");
    txtPass1->setEchoMode(QLineEdit::Password);
    txtExternalID = new QSpinBox(this);
    txtExternalID->setObjectName(QStringLiteral("txtExternalID"));
    txtExternalID->setRange(INT_MIN, INT_MAX);

    auto *frame = new QGroupBox(this);
    auto *form = new QFormLayout(frame);
    form->addRow(QStringLiteral("First name"), txtFName);
    form->addRow(QStringLiteral("Last name"), txtLName);
    form->addRow(QStringLiteral("User"), txtUser);
    form->addRow(QStringLiteral("Password"), txtPass);
    form->addRow(QStringLiteral("Verify password"), txtPass1);
    form->addRow(QStringLiteral("External ID"), txtExternalID);

    cmdSave = new QPushButton(QStringLiteral("&Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    connect(cmdSave, &QPushButton::clicked, this, &frmUserConfig::cmdSave_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmUserConfig::cmdCancel_Click);
}

void frmUserConfig::FillFields(int idUserApp)
{
    m_idUser = idUserApp;
    QSqlQuery q = App::session().GetUserRow(idUserApp);
    if (!q.next())
        return;
    txtExternalID->setValue(Sql::integer(q, "IdUser"));
    txtFName->setText(Sql::text(q, "UserFName"));
    txtLName->setText(Sql::text(q, "UserLName"));
    txtUser->setText(Sql::text(q, "User"));
    const QString typed = TypedPassword(Sql::text(q, "Password"));
    txtPass->setText(typed);
    txtPass1->setText(typed);
}

void frmUserConfig::LoadMe(int &vIdUser)
{
    Cancel = true;
    RunCommand(QStringLiteral("LoadMe()"), [&] { FillFields(vIdUser); });
    exec();
}

void frmUserConfig::cmdSave_Click()
{
    if (txtPass1->text() != txtPass->text()) {
        prompter().message(QStringLiteral("Password don't match!"), AppTitle, Prompter::Icon::Exclamation);
        txtPass1->setFocus();
        return;
    }
    // What the library would refuse is said here, while what was typed is still on screen.
    QString problem;
    if (!RunCommand(QStringLiteral("cmdSave_Click()"),
                    [&] { problem = App::session().UserProblem(m_idUser, txtUser->text(), txtPass->text(), AppId); }))
        return;
    if (!problem.isEmpty()) {
        prompter().message(problem, AppTitle, Prompter::Icon::Exclamation);
        (PasswordIsStorable(txtPass->text()) ? txtUser : txtPass)->setFocus();
        return;
    }
    Cancel = false;
    accept();
}

void frmUserConfig::cmdCancel_Click() { reject(); }
