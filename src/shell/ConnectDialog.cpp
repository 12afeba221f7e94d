#include "ConnectDialog.h"

#include "ErrorBox.h"
#include "Prompter.h"
#include "Settings.h"
#include "repository/RepositorySession.h"
#include "samples/SampleSet.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

static const QString Section = QStringLiteral("Connect");

QString ConnectDialog::DefaultRepositoryPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.velmora");
    return QDir(dir).filePath(QStringLiteral("repository.mdb"));
}

void ConnectDialog::RememberFileRepository(const QString &path)
{
    SaveSetting(Section, QStringLiteral("Kind"), QStringLiteral("1"));
    SaveSetting(Section, QStringLiteral("File"), path);
}

ConnectDialog::ConnectDialog(RepositorySession &session, QWidget *parent) : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("ConnectDialog"));
    setWindowTitle(QStringLiteral("Connect to repository"));
    setMinimumWidth(460);
    auto *layout = new QVBoxLayout(this);

    optFile = new QRadioButton(QStringLiteral("&File repository"), this);
    optFile->setObjectName(QStringLiteral("optFile"));
    txtFile = new QLineEdit(this);
    txtFile->setObjectName(QStringLiteral("txtFile"));
    cmdBrowse = new QPushButton(QStringLiteral("..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(txtFile);
    fileRow->addWidget(cmdBrowse);

    optServer = new QRadioButton(QStringLiteral("PostgreSQL &server"), this);
    optServer->setObjectName(QStringLiteral("optServer"));
    txtHost = new QLineEdit(this);
    txtHost->setObjectName(QStringLiteral("txtHost"));
    txtHost->setPlaceholderText(QStringLiteral("host name or socket folder"));
    txtPort = new QSpinBox(this);
    txtPort->setObjectName(QStringLiteral("txtPort"));
    txtPort->setRange(1, 65535);
    txtDatabase = new QLineEdit(this);
    txtDatabase->setObjectName(QStringLiteral("txtDatabase"));
    txtUser = new QLineEdit(this);
    txtUser->setObjectName(QStringLiteral("txtUser"));
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    // Never stored: an empty password lets the server client take it from PGPASSWORD or ~/.pgpass.
    txtPassword->setPlaceholderText(QStringLiteral("empty: PGPASSWORD or ~/.pgpass"));
    auto *server = new QFormLayout;
    server->addRow(QStringLiteral("Host:"), txtHost);
    server->addRow(QStringLiteral("Port:"), txtPort);
    server->addRow(QStringLiteral("Database:"), txtDatabase);
    server->addRow(QStringLiteral("User:"), txtUser);
    server->addRow(QStringLiteral("Password:"), txtPassword);

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    layout->addWidget(optFile);
    layout->addLayout(fileRow);
    layout->addWidget(optServer);
    layout->addLayout(server);
    layout->addLayout(buttons);

    const bool server0 = GetSetting(Section, QStringLiteral("Kind"), QStringLiteral("1")) == QLatin1String("2");
    optServer->setChecked(server0);
    optFile->setChecked(!server0);
    txtFile->setText(GetSetting(Section, QStringLiteral("File"), DefaultRepositoryPath()));
    txtHost->setText(GetSetting(Section, QStringLiteral("Host"), QStringLiteral("localhost")));
    txtPort->setValue(GetSetting(Section, QStringLiteral("Port"), QStringLiteral("5432")).toInt());
    txtDatabase->setText(GetSetting(Section, QStringLiteral("Database"), QStringLiteral("velmora")));
    txtUser->setText(GetSetting(Section, QStringLiteral("User"), qEnvironmentVariable("USER")));

    connect(optFile, &QRadioButton::toggled, this, &ConnectDialog::updateEnabled);
    connect(cmdBrowse, &QPushButton::clicked, this, &ConnectDialog::cmdBrowse_Click);
    connect(cmdOK, &QPushButton::clicked, this, &ConnectDialog::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    updateEnabled();
}

void ConnectDialog::updateEnabled()
{
    const bool file = optFile->isChecked();
    txtFile->setEnabled(file);
    cmdBrowse->setEnabled(file);
    for (QWidget *w : {static_cast<QWidget *>(txtHost), static_cast<QWidget *>(txtPort),
                       static_cast<QWidget *>(txtDatabase), static_cast<QWidget *>(txtUser),
                       static_cast<QWidget *>(txtPassword)})
        w->setEnabled(!file);
}

void ConnectDialog::cmdBrowse_Click()
{
    const QString path = prompter().openFile(QStringLiteral("Repository file"),
                                             QStringLiteral("Velmora repository (*.mdb)|*.mdb|All files (*)|*"),
                                             txtFile->text());
    if (!path.isEmpty())
        txtFile->setText(path);
}

void ConnectDialog::cmdOK_Click()
{
    RunCommand(QStringLiteral("ConnectDialog.cmdOK_Click()"), [this] {
        if (optFile->isChecked()) {
            const QString path = txtFile->text().trimmed();
            // Only the embedded default is created on first start, with the samples so that there
            // is something to run at once; any other missing file is an error.
            const bool isDefault = QDir::cleanPath(path) == QDir::cleanPath(DefaultRepositoryPath());
            if (isDefault && !QFileInfo::exists(path))
                SampleSet::CreateRepository(path);
            m_session.OpenFile(path, isDefault);
            RememberFileRepository(path);
        } else {
            m_session.OpenServer(txtHost->text().trimmed(), txtPort->value(), txtDatabase->text().trimmed(),
                                 txtUser->text().trimmed(), txtPassword->text());
            SaveSetting(Section, QStringLiteral("Kind"), QStringLiteral("2"));
            SaveSetting(Section, QStringLiteral("Host"), txtHost->text().trimmed());
            SaveSetting(Section, QStringLiteral("Port"), QString::number(txtPort->value()));
            SaveSetting(Section, QStringLiteral("Database"), txtDatabase->text().trimmed());
            SaveSetting(Section, QStringLiteral("User"), txtUser->text().trimmed());
        }
        accept();
    });
}

bool ConnectDialog::Show(RepositorySession &session, QWidget *parent)
{
    ConnectDialog dialog(session, parent);
    return dialog.exec() == QDialog::Accepted;
}
