#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

// The macro library editor: categories, their macros, a macro's body and the macros it uses.
// Non-modal; every use of the menu makes another independent window.
class frmMacros : public QWidget {
    Q_OBJECT
public:
    explicit frmMacros(QWidget *parent = nullptr);

    QTreeWidget *lstCateg;
    QTreeWidget *lstMacro;
    QTreeWidget *lstRefMacro;
    QPlainTextEdit *txtMacro;
    QPushButton *cmdNewCateg;
    QPushButton *cmdDelCateg;
    QPushButton *cmdNewMacro;
    QPushButton *cmdDelMacro;
    QPushButton *cmdEditMacro;
    QPushButton *cmdSaveMacro;
    QPushButton *cmdReferences;
    QPushButton *cmdExportMacro;
    QPushButton *cmdImportMacro;
    QPushButton *cmdDelete;
    QStatusBar *sbStatusBar;

    // Fills the categories, chooses the first and shows the window without blocking. idMacro is unused.
    void LoadMe(int idMacro = 0);
    bool EditMode() const;

public Q_SLOTS:
    void lstCateg_ItemClick();
    void lstMacro_ItemClick();
    void lstCateg_DblClick();
    void lstMacro_DblClick();
    void cmdEditMacro_Click();
    void cmdNewCateg_Click();
    void cmdDelCateg_Click();
    void cmdNewMacro_Click();
    void cmdDelMacro_Click();
    void cmdSaveMacro_Click();
    void cmdExportMacro_Click();
    void cmdImportMacro_Click();
    void cmdReferences_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void LoadCategories();
    void ChooseCategory();
    void ChooseMacro();
    void FillReferences(int macroId);
    void SetEditValue(bool on);
    void ShowText(const QString &text);
    QString EditorText() const;
    // Stores the shown body in its macro; false (with a message) when the macro is gone.
    bool SaveBody();
    // Before the shown body leaves the screen: true to go on (saved or dropped as the user chose).
    bool ConfirmLeaveBody();
    int SelectedId(QTreeWidget *list) const;
    QTreeWidgetItem *AddItem(QTreeWidget *list, int id, const QString &name);

    bool m_filling = false;
    // The line break of the text shown, given back on save and export: the editor itself only knows "\n".
    QString m_lineBreak;
    // The macro whose body is shown, and that body as stored: what differs waits for "&Save".
    int m_bodyMacroId = 0;
    QString m_bodyMacroName;
    QString m_storedBody;
};

// Opens a new macro editor window (Tools > "&Macro Editor", toolbar "Macro Editor").
frmMacros *ShowMacroEditor();
