#pragma once

#include "repository/Items.h"

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Category properties: the name is shown, the description is edited and saved.
class frmCatProp : public QDialog {
    Q_OBJECT
public:
    explicit frmCatProp(QWidget *parent = nullptr);

    // Asked before a save would overwrite a change made since the window loaded the category.
    static const QString CategoryChangedText;

    int IdCategory = 0;
    int TipLoad = 1; // 1 = category properties

    QLineEdit *txtCategoryName;
    QPlainTextEdit *txtCategoryDescription;
    QPushButton *cmdSave;
    QPushButton *cmdClose;

    void done(int result) override;

public Q_SLOTS:
    void cmdSave_Click();
    void cmdClose_Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void LoadCategDetails();
    bool m_loaded = false;
    CategoryItem m_loadedItem;
};
