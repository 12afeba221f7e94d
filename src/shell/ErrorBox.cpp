#include "ErrorBox.h"

#include "Prompter.h"

#include <QApplication>
#include <QCursor>

QString ErrorBoxText(const AppError &error, const QString &origin)
{
    const QChar cr(13);
    return QStringLiteral("Number : ") + QString::number(error.number) + cr
         + QStringLiteral("Description : ") + error.description + cr
         + QStringLiteral("Source : ") + error.source + cr
         + QStringLiteral("Origin : ") + origin;
}

void ShowError(const AppError &error, const QString &origin)
{
    if (error.number == 0)
        return;
    QApplication::restoreOverrideCursor();
    prompter().message(ErrorBoxText(error, origin), AppTitle, Prompter::Icon::Critical, Prompter::Buttons::Ok);
}

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }
