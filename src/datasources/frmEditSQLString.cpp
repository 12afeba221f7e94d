#include "frmEditSQLString.h"

#include "shell/ErrorBox.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/TextFile.h"
#include "repository/AppError.h"

#include <QAction>
#include <QFont>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QVBoxLayout>

frmEditSQLString::frmEditSQLString(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmEditSQLString"));
    setWindowTitle(QStringLiteral("<Memo>"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const QList<QPair<QString, QString>> buttons{{"keyCancel", "Cancel"},
                                                 {"keySave", "Save"},
                                                 {"keyNew", "New"},
                                                 {"keyImport", "Import"},
                                                 {"keyExport", "Export"}};
    for (const auto &[key, caption] : buttons) {
        QAction *a = Toolbar1->addAction(caption);
        a->setObjectName(key);
    }
    connect(Toolbar1, &QToolBar::actionTriggered, this, &frmEditSQLString::Toolbar1_ButtonClick);
    txtEdit = new QPlainTextEdit(this);
    txtEdit->setObjectName(QStringLiteral("txtEdit"));
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    txtEdit->setFont(mono);
    txtEdit->installEventFilter(this);
    layout->addWidget(Toolbar1);
    layout->addWidget(txtEdit);
    resize(TwipsToPixels(7200), TwipsToPixels(4200));
}

QPoint frmEditSQLString::Position(int windowLeftTwips, int windowTopTwips, const QRect &cellTwips,
                                  int offsetLeftTwips, int offsetTopTwips)
{
    const int top = windowTopTwips + offsetTopTwips + cellTwips.top() + cellTwips.height() + 700;
    const int left = windowLeftTwips + offsetLeftTwips + cellTwips.left() + 180;
    return {TwipsToPixels(left), TwipsToPixels(top)};
}

void frmEditSQLString::Toolbar1_ButtonClick(QAction *button)
{
    const QString key = button->objectName();
    if (key == QLatin1String("keyCancel")) {
        hide();
        reject();
    } else if (key == QLatin1String("keySave")) {
        Cancel = false;
        hide();
        accept();
    } else if (key == QLatin1String("keyNew")) {
        txtEdit->clear();
    } else if (key == QLatin1String("keyImport")) {
        RunCommand(QStringLiteral("Toolbar1_ButtonClick()"), [this] { importFile(); });
    } else if (key == QLatin1String("keyExport")) {
        RunCommand(QStringLiteral("Toolbar1_ButtonClick()"), [this] { exportFile(); });
    }
}

void frmEditSQLString::importFile()
{
    const QString path = prompter().openFile(QStringLiteral("Import"), QStringLiteral("Text files (*.txt)|*.txt|All files (*.*)|*.*"));
    if (path.isEmpty())
        return;
    // A file that cannot be read leaves the text as it is.
    try {
        txtEdit->setPlainText(TextFile::read(path));
    } catch (const AppError &) {
    }
}

void frmEditSQLString::exportFile()
{
    const QString path = prompter().saveFile(QStringLiteral("Export"), QStringLiteral("Text files (*.txt)|*.txt|All files (*.*)|*.*"),
                                             QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    TextFile::write(path, txtEdit->toPlainText()); // a failure is shown, as the macro export shows it
}

bool frmEditSQLString::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtEdit && event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (ke->key() == Qt::Key_Escape) {
            Toolbar1_ButtonClick(Toolbar1->findChild<QAction *>(QStringLiteral("keyCancel")));
            return true;
        }
        if (ke->key() == Qt::Key_S && (ke->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            Toolbar1_ButtonClick(Toolbar1->findChild<QAction *>(QStringLiteral("keySave")));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmEditSQLString::done(int result)
{
    SaveWindowPlacement(this);
    QDialog::done(result);
}
