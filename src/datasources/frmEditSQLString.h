#pragma once

#include <QDialog>

class QPlainTextEdit;
class QToolBar;
class QAction;

// The memo editor: a small modal text editor for a variable's lookup query.
class frmEditSQLString : public QDialog {
    Q_OBJECT
public:
    explicit frmEditSQLString(QWidget *parent = nullptr);

    bool Cancel = true;
    QToolBar *Toolbar1;
    QPlainTextEdit *txtEdit;

    // Where the editor goes: just under the current cell, from positions in twips.
    static QPoint Position(int windowLeftTwips, int windowTopTwips, const QRect &cellTwips, int offsetLeftTwips,
                           int offsetTopTwips);

public Q_SLOTS:
    void Toolbar1_ButtonClick(QAction *button);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void done(int result) override;

private:
    void importFile();
    void exportFile();
};
