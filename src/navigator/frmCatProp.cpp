#include "frmCatProp.h"

#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"

#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

const QString frmCatProp::CategoryChangedText =
    QStringLiteral("The category was changed in the repository since this window loaded it.\rOverwrite those changes with yours?");

frmCatProp::frmCatProp(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCatProp"));
    setWindowTitle(QStringLiteral("Properties"));
    auto *outer = new QVBoxLayout(this);
    auto *frame = new QGroupBox(QStringLiteral("Category"), this);
    frame->setObjectName(QStringLiteral("fraCategory"));
    auto *grid = new QGridLayout(frame);
    txtCategoryName = new QLineEdit(frame);
    txtCategoryName->setObjectName(QStringLiteral("txtCategoryName"));
    // Names change by renaming in the tree or the list; an edit here would be lost.
    txtCategoryName->setReadOnly(true);
    txtCategoryDescription = new QPlainTextEdit(frame);
    txtCategoryDescription->setObjectName(QStringLiteral("txtCategoryDescription"));
    grid->addWidget(new QLabel(QStringLiteral("Name :"), frame), 0, 0);
    grid->addWidget(txtCategoryName, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Description"), frame), 1, 0, Qt::AlignTop);
    grid->addWidget(txtCategoryDescription, 1, 1);
    outer->addWidget(frame);
    cmdSave = new QPushButton(QStringLiteral("&Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton *b : {cmdSave, cmdClose})
        b->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);
    outer->addLayout(buttons);
    resize(420, 260);
    connect(cmdSave, &QPushButton::clicked, this, &frmCatProp::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmCatProp::cmdClose_Click);
}

void frmCatProp::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_loaded)
        return;
    m_loaded = true;
    if (TipLoad == 1)
        RunCommand(QStringLiteral("frmMain.LoadCategDetails()"), [this] { LoadCategDetails(); });
}

void frmCatProp::LoadCategDetails()
{
    m_loadedItem = App::session().GetCategory(IdCategory);
    const CategoryItem &c = m_loadedItem;
    txtCategoryName->setText(c.Name.isNull() ? QStringLiteral("Unknown") : c.Name);
    txtCategoryDescription->setPlainText(c.Description);
}

void frmCatProp::cmdSave_Click()
{
    RunCommand(QStringLiteral("cmdSave_Click()"), [this] {
        RepositorySession &s = App::session();
        // Nobody checks a category out: another administrator may have saved it meanwhile.
        if (m_loadedItem.IdCategory == IdCategory && s.CategoryChangedSince(m_loadedItem)
            && prompter().message(CategoryChangedText, QStringLiteral("Confirmation"), Prompter::Icon::Question,
                                  Prompter::Buttons::YesNo)
                   != Prompter::Answer::Yes)
            return;
        CategoryItem c = s.GetCategory(IdCategory);
        c.Description = txtCategoryDescription->toPlainText();
        c.Save();
        close();
    });
}

void frmCatProp::cmdClose_Click()
{
    RunCommand(QStringLiteral("cmdClose_Click()"), [this] { close(); });
}

void frmCatProp::done(int result)
{
    SaveWindowPlacement(this);
    QDialog::done(result);
}
