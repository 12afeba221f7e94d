#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QSpinBox;

// One user of a client application: names, login, password (typed twice) and external id.
class frmUserConfig : public QDialog {
    Q_OBJECT
public:
    explicit frmUserConfig(QWidget *parent = nullptr);

    QLineEdit *txtFName;
    QLineEdit *txtLName;
    QLineEdit *txtUser;
    QLineEdit *txtPass;
    QLineEdit *txtPass1;
    QSpinBox *txtExternalID;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    // True until the user saves.
    bool Cancel = true;
    // The client application the user belongs to; set by the caller before LoadMe, so that a
    // name the application already has is refused before the dialog closes.
    int AppId = 0;

    // Fills the fields for the user (0 = a new user) and shows the dialog modally.
    void LoadMe(int &vIdUser);
    // The filling part of LoadMe; passes failures on.
    void FillFields(int idUserApp);

public Q_SLOTS:
    void cmdSave_Click();
    void cmdCancel_Click();

private:
    int m_idUser = 0;
};
