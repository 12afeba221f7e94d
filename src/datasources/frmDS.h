#pragma once

#include "repository/DataSourceItem.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Adds or edits one data source.
class frmDS : public QDialog {
    Q_OBJECT
public:
    explicit frmDS(QWidget *parent = nullptr);

    DataSourceItem DS;
    bool hasDS = false; // DS is set
    bool Cancel = true;

    QLineEdit *txtName;
    QPlainTextEdit *txtConnString;
    QPlainTextEdit *txtConnStringNet;
    QPlainTextEdit *txtDescription;
    QCheckBox *chkJet;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    void AddDataSource();
    void EditDataSource();

public Q_SLOTS:
    void cmdSave_Click();
    void cmdCancel_Click();
};
