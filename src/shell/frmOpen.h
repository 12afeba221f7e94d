#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;

// The company (work point) choice at start-up.
class frmOpen : public QDialog {
    Q_OBJECT
public:
    explicit frmOpen(QWidget *parent = nullptr);

    QComboBox *cmbCompany;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

    void FillCompanies(); // passes failures on to the caller

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

public Q_SLOTS:
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    bool m_loaded = false;
};
