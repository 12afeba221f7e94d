#include "frmDS.h"

#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/Prompter.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmDS::frmDS(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDS"));
    setWindowTitle(QStringLiteral("  Add Data Source"));
    auto *outer = new QVBoxLayout(this);
    auto *frame = new QGroupBox(QStringLiteral("Data Source Settings"), this);
    auto *grid = new QGridLayout(frame);
    auto field = [&](int row, const QString &label, QWidget *w, const QString &name) {
        w->setObjectName(name);
        auto *l = new QLabel(label, frame);
        l->setBuddy(w);
        grid->addWidget(l, row, 0, Qt::AlignTop);
        grid->addWidget(w, row, 1);
    };
    txtName = new QLineEdit(frame);
    txtConnString = new QPlainTextEdit(frame);
    txtConnStringNet = new QPlainTextEdit(frame);
    txtDescription = new QPlainTextEdit(frame);
    for (QPlainTextEdit *t : {txtConnString, txtConnStringNet, txtDescription}) {
        t->setTabChangesFocus(true);
        t->setFixedHeight(t->fontMetrics().height() * 3 + 12);
    }
    field(0, QStringLiteral("Name"), txtName, QStringLiteral("txtName"));
    field(1, QStringLiteral("ConnectionString"), txtConnString, QStringLiteral("txtConnString"));
    field(2, QStringLiteral(".Net ConnectionString"), txtConnStringNet, QStringLiteral("txtConnStringNet"));
    field(3, QStringLiteral("Description"), txtDescription, QStringLiteral("txtDescription"));
    chkJet = new QCheckBox(QStringLiteral("Jet"), frame);
    chkJet->setObjectName(QStringLiteral("chkJet"));
    grid->addWidget(chkJet, 4, 1);
    outer->addWidget(frame);
    auto *buttons = new QHBoxLayout;
    cmdSave = new QPushButton(QStringLiteral("&Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdCancel);
    outer->addLayout(buttons);
    connect(cmdSave, &QPushButton::clicked, this, &frmDS::cmdSave_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmDS::cmdCancel_Click);
    resize(460, 320);
}

void frmDS::AddDataSource()
{
    RunCommand(QStringLiteral("AddDataSource()"), [this] {
        DS = DataSourceItem(App::session());
        hasDS = true;
    });
}

void frmDS::EditDataSource()
{
    RunCommand(QStringLiteral("EditDataSource()"), [this] {
        if (!hasDS)
            return;
        txtName->setText(DS.Name);
        txtConnString->setPlainText(DS.ConnectionString);
        txtConnStringNet->setPlainText(DS.NetConnectionString);
        txtDescription->setPlainText(DS.Description);
        chkJet->setChecked(DS.IsJet != 0);
    });
}

void frmDS::cmdSave_Click()
{
    RunCommand(QStringLiteral("cmdSave_Click()"), [this] {
        if (txtName->text().isEmpty()) {
            prompter().message(QStringLiteral("Complete the field 'Name' !"), AppTitle, Prompter::Icon::Critical);
            txtName->setFocus();
            return;
        }
        if (txtConnString->toPlainText().isEmpty()) {
            prompter().message(QStringLiteral("Complete the field 'Connection string' !"), AppTitle,
                               Prompter::Icon::Critical);
            txtConnString->setFocus();
            return;
        }
        if (!hasDS)
            AddDataSource();
        // Work on a copy so that a failed save leaves DS as the caller gave it.
        DataSourceItem item = DS;
        item.Name = txtName->text();
        item.ConnectionString = txtConnString->toPlainText();
        item.NetConnectionString = txtConnStringNet->toPlainText();
        item.Description = txtDescription->toPlainText();
        item.IsJet = chkJet->isChecked() ? 1 : 0;
        if (item.Save()) {
            DS = item;
            Cancel = false;
            hide();
            accept();
        }
    });
}

void frmDS::cmdCancel_Click()
{
    RunCommand(QStringLiteral("cmdCancel_Click()"), [this] {
        hide();
        reject();
    });
}
