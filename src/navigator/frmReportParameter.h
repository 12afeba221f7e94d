#pragma once

#include "reportengine/ReportParameters.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks one variable of a report's data source: its caption as the label, the default filled in,
// a choice list when the variable has a lookup, and why the last answer was refused.
class frmReportParameter : public QDialog {
    Q_OBJECT
public:
    explicit frmReportParameter(QWidget *parent = nullptr);

    // Fills the window for one variable; `value` is preselected (or typed in).
    void LoadMe(const ReportVariable &variable, const QList<LookupChoice> &choices, const QString &value,
                const QString &problem);
    // The answer: the chosen entry's value, or the typed text.
    QString Value() const;
    bool Cancel = true;

    QLabel *lblCaption;
    QLineEdit *txtValue;
    QComboBox *cmbValue;
    QLabel *lblProblem;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

public Q_SLOTS:
    void cmdOK_Click();
    void cmdCancel_Click();
};

// The console's side of the report engine: variables asked with frmReportParameter, the file of
// a report chosen at run time through the save dialog, written files opened by the desktop.
class ConsoleReportPrompter : public ReportParameterPrompter {
public:
    bool askVariable(const ReportVariable &variable, const QList<LookupChoice> &choices, QString &value,
                     const QString &problem) override;
    QString askDestinationFile(const QString &suggestedPath) override;
    void openDocument(const QString &path) override;

    // How a written file is opened; the desktop's default application unless replaced (tests).
    static void setDocumentOpener(std::function<void(const QString &)> opener);
};
