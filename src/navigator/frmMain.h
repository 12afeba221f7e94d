#pragma once

#include <QMainWindow>

class QLabel;
class QAction;
class QMenu;

// The main window. The category tree, report list, menus and toolbar are built here.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // The one main window of the run, created (and first loaded) on first use.
    static frmMain *instance();
    static bool exists();
    static void destroyInstance();

    // Status-bar panels 1..5.
    void setPanelText(int panel, const QString &text);
    QString panelText(int panel) const;

    // Reloads after the repository changed (key "c1" = the root category).
    void LoadCateg(const QString &nodeKey);
    void RefreshMe();
    // Empties tree, path box and list (before a different repository is shown).
    void ClearViews();

    QAction *mnuNewDB;
    QAction *mnuOpen45;
    QAction *mnuExit;
    QAction *mnuAboutUs;

protected:
    explicit frmMain(QWidget *parent = nullptr);
    void closeEvent(QCloseEvent *event) override;

public Q_SLOTS:
    void mnuNewDB_Click();
    void mnuOpen45_Click();
    void mnuExit_Click();
    void mnuAboutUs_Click();

private:
    void Form_Load();
    QList<QLabel *> m_panels;
};
