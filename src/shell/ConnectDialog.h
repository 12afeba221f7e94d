#pragma once

#include <QDialog>

class QLineEdit;
class QRadioButton;
class QSpinBox;
class QPushButton;
class RepositorySession;

// Connects a session to a file repository or a PostgreSQL server. Remembers the last choice;
// a failed connection shows the error box and the dialog stays open.
class ConnectDialog : public QDialog {
    Q_OBJECT
public:
    explicit ConnectDialog(RepositorySession &session, QWidget *parent = nullptr);

    // True when connected.
    static bool Show(RepositorySession &session, QWidget *parent = nullptr);
    // The embedded default: a repository file in the user's data folder.
    static QString DefaultRepositoryPath();
    // The dialog offers this file repository at the next start.
    static void RememberFileRepository(const QString &path);

    QRadioButton *optFile;
    QRadioButton *optServer;
    QLineEdit *txtFile;
    QPushButton *cmdBrowse;
    QLineEdit *txtHost;
    QSpinBox *txtPort;
    QLineEdit *txtDatabase;
    QLineEdit *txtUser;
    QLineEdit *txtPassword;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

public Q_SLOTS:
    void cmdOK_Click();
    void cmdBrowse_Click();

private:
    void updateEnabled();
    RepositorySession &m_session;
};
