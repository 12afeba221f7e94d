#include "frmSplash.h"

#include "repository/Version.h"

#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

frmSplash::frmSplash(QWidget *parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto *layout = new QVBoxLayout(this);
    picBack = new QLabel(QStringLiteral("<div style='font-size:28pt;font-weight:600;color:#1d4f91'>Velmora</div>"
                                        "<div style='font-size:12pt;color:#444'>Document Management System</div>"),
                         this);
    picBack->setObjectName(QStringLiteral("picBack"));
    picBack->setAlignment(Qt::AlignCenter);
    picBack->setMinimumSize(420, 200);
    picBack->setStyleSheet(QStringLiteral("background:#eef3fa;border:1px solid #9bb3d6"));
    lblVersion = new QLabel(VersionText(), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setAlignment(Qt::AlignRight);
    layout->addWidget(picBack);
    layout->addWidget(lblVersion);
    picBack->installEventFilter(this);
    lblVersion->installEventFilter(this);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
    Timer1->start();
}

QString frmSplash::VersionText()
{
    return QStringLiteral("Version ") + VersionNumber();
}

void frmSplash::Timer1_Timer() { close(); }
void frmSplash::mousePressEvent(QMouseEvent *) { close(); }
void frmSplash::keyPressEvent(QKeyEvent *) { close(); }

bool frmSplash::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
