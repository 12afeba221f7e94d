#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

// The security window: client applications and their users, roles, the roles each user holds
// and (through frmReports) the reports each role may use.
class frmDrepturi : public QDialog {
    Q_OBJECT
public:
    explicit frmDrepturi(QWidget *parent = nullptr);

    QComboBox *cmbCliApp;
    QPushButton *cmdAddApp;
    QPushButton *cmdDelApp;
    QPushButton *cmdRenameApp;
    QLabel *lblAppID;
    QTabWidget *SSTab1;
    QTreeWidget *lstUsers;
    QPushButton *cmdAddUser;
    QPushButton *cmdDelUser;
    QTreeWidget *lstRoles;
    QPushButton *cmdSaveUsrRole;
    QTreeWidget *lstConfigRoles;
    QPushButton *cmdAddRole;
    QPushButton *cmdDeleteRole;
    QPushButton *cmdRenameRole;
    QTreeWidget *lstReports;
    QPushButton *cmdAddReport;
    QPushButton *cmdClose;

public Q_SLOTS:
    void Form_Load();
    void cmbCliApp_Click();
    void lstUsers_ItemClick();
    void lstUsers_DblClick();
    void lstRoles_ItemCheck(QTreeWidgetItem *item);
    void lstConfigRoles_Click();
    void cmdAddApp_Click();
    void cmdDelApp_Click();
    void cmdRenameApp_Click();
    void cmdAddUser_Click();
    void cmdDelUser_Click();
    void cmdSaveUsrRole_Click();
    void cmdAddRole_Click();
    void cmdDeleteRole_Click();
    void cmdRenameRole_Click();
    void cmdAddReport_Click();
    void cmdClose_Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void chooseApplication();
    void chooseUser();
    void LoadReports();
    void untickRoles();
    void selectRole(int idRole);
    int selectedAppId() const;
    void sortByHeader(QTreeWidget *list, int column);

    bool m_loaded = false;
};
