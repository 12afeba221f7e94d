#pragma once

#include <QDialog>
#include <QMap>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

// Chooses the macros a source uses, category by category. Serves a macro (tip "m") and a
// report (tip "r"); the whole set is written at once by the caller after "&Save".
class frmReferences : public QDialog {
    Q_OBJECT
public:
    explicit frmReferences(QWidget *parent = nullptr);
    ~frmReferences() override;

    QLabel *lblCateg;
    QComboBox *cmbCateg;
    QTreeWidget *lstMacro;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    QPushButton *cmdEdit;

    // The ticked macros of every category: key "k" + id, value the id.
    QMap<QString, int> colReferences;
    bool Cancel = true;

    // Fills the categories and lists the first one. Passes failures on to the caller.
    void LoadMe();
    // Ticks the listed macros that colReferences holds.
    void TickReferences();

    enum class Outcome { Cancelled, Saved, SourceMissing };
    // The whole flow for one source: its current references ticked, the dialog shown modally,
    // and on "&Save" the chosen set stored. SourceMissing: the macro or report was deleted meanwhile.
    static Outcome EditReferences(int sourceId, const QString &tip, QWidget *parent = nullptr);

public Q_SLOTS:
    void cmbCateg_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void AddReference(int id);
    void RemoveReference(int id);
    void CollectTicks();

    bool m_filling = false;
};
