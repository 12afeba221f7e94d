#include "frmOpen.h"

#include "AppState.h"
#include "ErrorBox.h"
#include "ItemData.h"
#include "Prompter.h"
#include "TypeAhead.h"
#include "repository/RepositorySession.h"
#include "repository/Sql.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmOpen::frmOpen(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOpen"));
    setWindowTitle(QStringLiteral(" Open Company / Work Point"));
    auto *grid = new QGridLayout(this);
    auto *label = new QLabel(QStringLiteral("Company"), this);
    cmbCompany = new QComboBox(this);
    cmbCompany->setObjectName(QStringLiteral("cmbCompany"));
    cmbCompany->setEditable(true);
    cmbCompany->setInsertPolicy(QComboBox::NoInsert);
    cmbCompany->setMinimumWidth(280);
    cmbCompany->lineEdit()->installEventFilter(this);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(false);
    cmdOK->setAutoDefault(false);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    grid->addWidget(label, 0, 0);
    grid->addWidget(cmbCompany, 0, 1, 1, 2);
    grid->addWidget(cmdOK, 1, 1);
    grid->addWidget(cmdCancel, 1, 2);
    connect(cmdOK, &QPushButton::clicked, this, &frmOpen::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOpen::cmdCancel_Click);
}

void frmOpen::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_loaded)
        return;
    m_loaded = true;
    RunCommand(QStringLiteral("Form_Load()"), [this] { FillCompanies(); });
}

void frmOpen::FillCompanies()
{
    cmbCompany->clear();
    QSqlQuery q = App::session().GetCompanies();
    while (q.next()) {
        const int id = Sql::integer(q, "IdAuthor");
        ItemData::addComboItem(cmbCompany, QStringLiteral("k") + QString::number(id), Sql::text(q, "Name"), id);
    }
    cmbCompany->setCurrentIndex(-1);
    cmbCompany->update();
}

bool frmOpen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cmbCompany->lineEdit() && event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        const bool enter = ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter;
        const QChar ch = ke->text().isEmpty() ? QChar() : ke->text().at(0);
        QStringList texts, keys;
        for (int i = 0; i < cmbCompany->count(); ++i) {
            texts << cmbCompany->itemText(i);
            keys << cmbCompany->itemData(i, ItemData::KeyRole).toString();
        }
        QLineEdit *edit = cmbCompany->lineEdit();
        const int selStart = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
        const int selLen = edit->hasSelectedText() ? int(edit->selectedText().size()) : 0;
        const TypeAheadResult r = ComboTypeAhead(texts, keys, edit->text(), selStart, selLen, enter ? 13 : 0, ch);
        if (!r.consumed)
            return QDialog::eventFilter(watched, event);
        if (r.changeSelection)
            cmbCompany->setCurrentIndex(r.selectIndex);
        if (r.setText) {
            edit->setText(r.text);
            edit->setSelection(r.selStart, r.selLength);
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmOpen::cmdOK_Click()
{
    RunCommand(QStringLiteral("cmdOK_Click()"), [this] {
        const int index = cmbCompany->currentIndex();
        if (index < 0 || cmbCompany->itemText(index) != cmbCompany->currentText()) {
            App::CurrentCompanyId = 0;
            prompter().message(QStringLiteral("Select company!"), AppTitle, Prompter::Icon::Exclamation);
            return;
        }
        App::CurrentCompanyId = cmbCompany->itemData(index, ItemData::TagRole).toInt();
        if (App::CurrentCompanyId > 0) {
            hide();
            QCoreApplication::processEvents();
            accept();
        }
    });
}

void frmOpen::cmdCancel_Click() { reject(); }
