#pragma once

#include <QDialog>

class QLabel;
class QTimer;

// The splash window: picture, version, closes on click, key or after three seconds.
class frmSplash : public QDialog {
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);
    static QString VersionText();

    QLabel *picBack;
    QLabel *lblVersion;
    QTimer *Timer1;

protected:
    void mousePressEvent(QMouseEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

public Q_SLOTS:
    void Timer1_Timer();
};
