#include "frmReportParameter.h"

#include "repository/AppError.h"
#include "shell/Prompter.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

static std::function<void(const QString &)> &documentOpener()
{
    static std::function<void(const QString &)> opener;
    return opener;
}

frmReportParameter::frmReportParameter(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmReportParameter"));
    setWindowTitle(QStringLiteral("Report parameters"));
    setModal(true);
    lblCaption = new QLabel(this);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    txtValue = new QLineEdit(this);
    txtValue->setObjectName(QStringLiteral("txtValue"));
    cmbValue = new QComboBox(this);
    cmbValue->setObjectName(QStringLiteral("cmbValue"));
    lblProblem = new QLabel(this);
    lblProblem->setObjectName(QStringLiteral("lblProblem"));
    lblProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    lblProblem->setWordWrap(true);
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblCaption);
    layout->addWidget(txtValue);
    layout->addWidget(cmbValue);
    layout->addWidget(lblProblem);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(cmdOK, &QPushButton::clicked, this, &frmReportParameter::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmReportParameter::cmdCancel_Click);
}

void frmReportParameter::LoadMe(const ReportVariable &variable, const QList<LookupChoice> &choices,
                                const QString &value, const QString &problem)
{
    QString hint;
    if (variable.type == ReportVariable::Numeric)
        hint = QStringLiteral(" (number)");
    else if (variable.type == ReportVariable::Date)
        hint = QStringLiteral(" (date, YYYY-MM-DD)");
    lblCaption->setText(variable.label() + hint + QStringLiteral(" :"));
    const bool list = !choices.isEmpty();
    txtValue->setVisible(!list);
    cmbValue->setVisible(list);
    cmbValue->clear();
    for (const LookupChoice &c : choices)
        cmbValue->addItem(c.text, c.value);
    if (list) {
        const int at = cmbValue->findData(value);
        cmbValue->setCurrentIndex(at >= 0 ? at : 0);
    }
    txtValue->setText(value);
    lblProblem->setText(problem);
    lblProblem->setVisible(!problem.isEmpty());
    (list ? static_cast<QWidget *>(cmbValue) : txtValue)->setFocus();
    txtValue->selectAll();
}

QString frmReportParameter::Value() const
{
    return cmbValue->isVisibleTo(this) ? cmbValue->currentData().toString() : txtValue->text();
}

void frmReportParameter::cmdOK_Click()
{
    Cancel = false;
    accept();
}

void frmReportParameter::cmdCancel_Click()
{
    Cancel = true;
    reject();
}

bool ConsoleReportPrompter::askVariable(const ReportVariable &variable, const QList<LookupChoice> &choices,
                                        QString &value, const QString &problem)
{
    QApplication::setOverrideCursor(Qt::ArrowCursor); // the command runs under the hourglass
    frmReportParameter dialog(QApplication::activeWindow());
    dialog.LoadMe(variable, choices, value, problem);
    dialog.exec();
    QApplication::restoreOverrideCursor();
    if (dialog.Cancel)
        return false;
    value = dialog.Value();
    return true;
}

QString ConsoleReportPrompter::askDestinationFile(const QString &suggestedPath)
{
    const bool text = QFileInfo(suggestedPath).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) != 0;
    const QString filter = text ? QStringLiteral("Text files (*.txt)|*.txt|All files (*.*)|*.*")
                                : QStringLiteral("Workbooks (*.xlsx)|*.xlsx");
    return prompter().saveFile(QStringLiteral("Save report as"), filter,
                               text ? QStringLiteral("txt") : QStringLiteral("xlsx"), suggestedPath);
}

void ConsoleReportPrompter::openDocument(const QString &path)
{
    if (documentOpener()) {
        documentOpener()(path);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        throw AppError(ErrorNumber::Generic,
                       QStringLiteral("The file '%1' was written but no program could open it.").arg(path));
}

void ConsoleReportPrompter::setDocumentOpener(std::function<void(const QString &)> opener)
{
    documentOpener() = std::move(opener);
}
