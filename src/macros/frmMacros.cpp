#include "frmMacros.h"

#include "frmReferences.h"
#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/MacroFillers.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/TextFile.h"
#include "shell/UnsavedWork.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QTreeWidget *makeList(QWidget *parent, const QString &name, const QString &column)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setHeaderLabels({column});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

QPushButton *makeButton(QWidget *parent, const QString &name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// The small picture buttons beside the lists: what they do is in their tool tips.
QPushButton *makeListButton(QWidget *parent, const QString &name, const QIcon &icon, const QString &tip)
{
    auto *b = makeButton(parent, name, QString());
    b->setIcon(icon);
    b->setToolTip(tip);
    b->setFixedSize(30, 28);
    return b;
}

// A delete picture for each list: the list's own item (a folder or a page) with a red cross, so
// that the two delete buttons are told apart at a glance.
QIcon deleteIcon(bool folder)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    if (folder) {
        p.setBrush(QColor(240, 200, 90));
        p.drawPolygon(QPolygonF({QPointF(1.5, 3.5), QPointF(6.5, 3.5), QPointF(8, 5.5), QPointF(14.5, 5.5),
                                 QPointF(14.5, 13.5), QPointF(1.5, 13.5)}));
    } else {
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(3.5, 1.5), QPointF(9.5, 1.5), QPointF(12.5, 4.5), QPointF(12.5, 14.5),
                                 QPointF(3.5, 14.5)}));
    }
    p.setPen(QPen(QColor(200, 0, 0), 2.2));
    p.drawLine(QPointF(8.5, 8.5), QPointF(14.5, 14.5));
    p.drawLine(QPointF(14.5, 8.5), QPointF(8.5, 14.5));
    p.end();
    return QIcon(pm);
}

const QString StoredText = QStringLiteral("storedText"); // the property keeping the text exactly as loaded

// The line break a text uses, so that what the editor shows with "\n" goes back out as it came.
QString lineBreakOf(const QString &text)
{
    if (text.contains(QLatin1String("\r\n")))
        return QStringLiteral("\r\n");
    if (text.contains(QLatin1Char('\n')))
        return QStringLiteral("\n");
    if (text.contains(QLatin1Char('\r')))
        return QStringLiteral("\r");
    return QStringLiteral("\r\n");
}

} // namespace

frmMacros::frmMacros(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmMacros"));
    setWindowTitle(QStringLiteral("  Macro editor"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(860, 600);

    lstCateg = makeList(this, QStringLiteral("lstCateg"), QStringLiteral("Categories"));
    lstMacro = makeList(this, QStringLiteral("lstMacro"), QStringLiteral("Macros"));
    lstRefMacro = makeList(this, QStringLiteral("lstRefMacro"), QStringLiteral("References"));
    cmdNewCateg = makeListButton(this, QStringLiteral("cmdNewCateg"), style()->standardIcon(QStyle::SP_FileDialogNewFolder),
                                 QStringLiteral("New macro category"));
    cmdDelCateg = makeListButton(this, QStringLiteral("cmdDelCateg"), deleteIcon(true),
                                 QStringLiteral("Delete macro category"));
    cmdNewMacro = makeListButton(this, QStringLiteral("cmdNewMacro"), style()->standardIcon(QStyle::SP_FileIcon),
                                 QStringLiteral("New macro"));
    cmdDelMacro = makeListButton(this, QStringLiteral("cmdDelMacro"), deleteIcon(false),
                                 QStringLiteral("Delete macro"));
    cmdEditMacro = makeButton(this, QStringLiteral("cmdEditMacro"), QStringLiteral("&Edit"));
    cmdEditMacro->setCheckable(true);
    cmdSaveMacro = makeButton(this, QStringLiteral("cmdSaveMacro"), QStringLiteral("&Save"));
    cmdReferences = makeButton(this, QStringLiteral("cmdReferences"), QStringLiteral("&References"));
    cmdExportMacro = makeButton(this, QStringLiteral("cmdExportMacro"), QStringLiteral("E&xport"));
    cmdImportMacro = makeButton(this, QStringLiteral("cmdImportMacro"), QStringLiteral("&Import"));
    cmdDelete = makeButton(this, QStringLiteral("cmdDelete"), QStringLiteral("&Delete"));

    txtMacro = new QPlainTextEdit(this);
    txtMacro->setObjectName(QStringLiteral("txtMacro"));
    txtMacro->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtMacro->setAutoFillBackground(true);
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    if (!QFontDatabase::hasFamily(courier.family()))
        courier = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    txtMacro->setFont(courier);

    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    sbStatusBar->setSizeGripEnabled(false);

    auto listWithButtons = [this](QTreeWidget *list, QPushButton *add, QPushButton *del) {
        auto *box = new QWidget(this);
        auto *layout = new QGridLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(list, 0, 0, 3, 1);
        layout->addWidget(add, 0, 1);
        layout->addWidget(del, 1, 1);
        layout->setRowStretch(2, 1);
        return box;
    };
    auto *left = new QSplitter(Qt::Vertical, this);
    left->addWidget(listWithButtons(lstCateg, cmdNewCateg, cmdDelCateg));
    left->addWidget(listWithButtons(lstMacro, cmdNewMacro, cmdDelMacro));

    auto *right = new QWidget(this);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {cmdEditMacro, cmdSaveMacro, cmdReferences, cmdExportMacro, cmdImportMacro, cmdDelete})
        buttons->addWidget(b);
    buttons->addStretch();
    auto *editArea = new QSplitter(Qt::Vertical, right);
    editArea->addWidget(txtMacro);
    editArea->addWidget(lstRefMacro);
    editArea->setStretchFactor(0, 4);
    editArea->setStretchFactor(1, 1);
    rightLayout->addLayout(buttons);
    rightLayout->addWidget(editArea);

    auto *split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(1, 3);
    auto *main = new QVBoxLayout(this);
    main->setContentsMargins(4, 4, 4, 0);
    main->addWidget(split, 1);
    main->addWidget(sbStatusBar);

    // Choosing another category or macro first lets the user keep an edited body; Cancel puts
    // the list back on the entry the body belongs to.
    auto choose = [this](QTreeWidget *list, const char *origin, void (frmMacros::*handler)()) {
        connect(list, &QTreeWidget::currentItemChanged, this,
                [this, list, origin, handler](QTreeWidgetItem *, QTreeWidgetItem *previous) {
                    if (m_filling)
                        return;
                    // Also once the click that chose the other entry has been handled.
                    const QString key = ItemData::key(previous);
                    auto putBack = [this, list, key] {
                        auto select = [this, list, key] {
                            m_filling = true;
                            list->setCurrentItem(ItemData::findByKey(list, key));
                            m_filling = false;
                        };
                        select();
                        QTimer::singleShot(0, this, select);
                    };
                    RunCommand(QString::fromLatin1(origin), [&] {
                        if (LeaveOrStay([this] { return ConfirmLeaveBody(); }, putBack))
                            (this->*handler)();
                    });
                });
    };
    choose(lstCateg, "lstCateg_ItemClick()", &frmMacros::lstCateg_ItemClick);
    choose(lstMacro, "lstMacro_ItemClick()", &frmMacros::lstMacro_ItemClick);
    connect(lstCateg, &QTreeWidget::itemDoubleClicked, this, &frmMacros::lstCateg_DblClick);
    connect(lstMacro, &QTreeWidget::itemDoubleClicked, this, &frmMacros::lstMacro_DblClick);
    lstCateg->installEventFilter(this);
    lstMacro->installEventFilter(this);

    connect(cmdEditMacro, &QPushButton::clicked, this, [this] {
        // A press always switches edit mode on; only choosing an empty category switches it off.
        cmdEditMacro->setChecked(true);
        cmdEditMacro_Click();
    });
    auto trap = [this](QPushButton *button, void (frmMacros::*handler)(), const char *origin) {
        connect(button, &QPushButton::clicked, this,
                [this, handler, origin] { RunCommand(QString::fromLatin1(origin), [this, handler] { (this->*handler)(); }); });
    };
    trap(cmdNewCateg, &frmMacros::cmdNewCateg_Click, "cmdNewCateg_Click()");
    trap(cmdDelCateg, &frmMacros::cmdDelCateg_Click, "cmdDelCateg_Click()");
    trap(cmdNewMacro, &frmMacros::cmdNewMacro_Click, "cmdNewMacro_Click()");
    trap(cmdDelMacro, &frmMacros::cmdDelMacro_Click, "cmdDelMacro_Click()");
    trap(cmdSaveMacro, &frmMacros::cmdSaveMacro_Click, "cmdSaveMacro_Click()");
    trap(cmdExportMacro, &frmMacros::cmdExportMacro_Click, "cmdExportMacro_Click()");
    trap(cmdImportMacro, &frmMacros::cmdImportMacro_Click, "cmdImportMacro_Click()");
    trap(cmdReferences, &frmMacros::cmdReferences_Click, "cmdReferences_Click()");

    SetEditValue(false);
    cmdEditMacro->setEnabled(false);
}

frmMacros *ShowMacroEditor()
{
    auto *w = new frmMacros;
    w->LoadMe(0);
    return w;
}

void frmMacros::LoadMe(int idMacro)
{
    Q_UNUSED(idMacro);
    RunCommand(QStringLiteral("LoadMe()"), [this] { LoadCategories(); });
    show();
}

void frmMacros::LoadCategories()
{
    m_filling = true;
    try {
        FillMacroCategories(lstCateg);
    } catch (...) {
        m_filling = false;
        throw;
    }
    m_filling = false;
    ChooseCategory();
}

bool frmMacros::EditMode() const { return cmdEditMacro->isChecked(); }

int frmMacros::SelectedId(QTreeWidget *list) const
{
    QTreeWidgetItem *item = list->currentItem();
    return item ? ItemData::tag(item).toInt() : -1;
}

QTreeWidgetItem *frmMacros::AddItem(QTreeWidget *list, int id, const QString &name)
{
    auto *item = new QTreeWidgetItem(list, QStringList{name});
    ItemData::setKey(item, QStringLiteral("k") + QString::number(id));
    ItemData::setTag(item, id);
    return item;
}

bool frmMacros::ConfirmLeaveBody()
{
    if (m_bodyMacroId == 0 || EditorText() == m_storedBody)
        return true;
    return AskToSaveWork(QStringLiteral("The text of macro '%1' was changed.").arg(m_bodyMacroName) + QLatin1Char('\r')
                             + QStringLiteral("Do you want to save the changes?"),
                         [this] { return SaveBody(); });
}

void frmMacros::ShowText(const QString &text)
{
    m_lineBreak = lineBreakOf(text);
    txtMacro->setPlainText(text);
    txtMacro->setProperty(StoredText.toLatin1().constData(), text);
    txtMacro->document()->setModified(false);
}

QString frmMacros::EditorText() const
{
    // Untouched text goes back exactly as it came (mixed line breaks included).
    if (!txtMacro->document()->isModified())
        return txtMacro->property(StoredText.toLatin1().constData()).toString();
    QString text = txtMacro->document()->toRawText();
    text.replace(QChar(QChar::ParagraphSeparator), m_lineBreak);
    return text;
}

void frmMacros::SetEditValue(bool on)
{
    cmdEditMacro->setChecked(on);
    cmdEditMacro_Click();
}

void frmMacros::cmdEditMacro_Click()
{
    const bool on = cmdEditMacro->isChecked();
    txtMacro->setReadOnly(!on);
    QPalette pal = txtMacro->palette();
    pal.setColor(QPalette::Base, on ? QColor(Qt::white) : palette().color(QPalette::Window));
    txtMacro->setPalette(pal);
    for (QPushButton *b : {cmdDelete, cmdExportMacro, cmdImportMacro, cmdSaveMacro, cmdReferences})
        b->setEnabled(on);
    if (on)
        txtMacro->setFocus();
}

void frmMacros::ChooseCategory()
{
    ShowText(QString());
    m_bodyMacroId = 0;
    lstRefMacro->clear();
    m_filling = true;
    try {
        FillMacroList(qMax(0, SelectedId(lstCateg)), lstMacro);
    } catch (...) {
        m_filling = false;
        throw;
    }
    m_filling = false;
    if (!lstMacro->currentItem()) {
        SetEditValue(false);
        cmdEditMacro->setEnabled(false);
        setWindowTitle(QStringLiteral("  Macro editor")); // no macro is shown any more
        return;
    }
    ChooseMacro();
    cmdEditMacro->setEnabled(true);
}

void frmMacros::ChooseMacro()
{
    QTreeWidgetItem *item = lstMacro->currentItem();
    if (!item)
        return;
    const int id = ItemData::tag(item).toInt();
    const QString body = App::session().GetMacroBody(id);
    ShowText(body);
    m_bodyMacroId = id;
    m_bodyMacroName = item->text(0);
    m_storedBody = body;
    setWindowTitle(QStringLiteral("Macro [") + item->text(0) + QStringLiteral("]"));
    FillReferences(id);
}

void frmMacros::FillReferences(int macroId)
{
    lstRefMacro->clear();
    const QStringList refs = App::session().GetReferencedMacros(macroId, QStringLiteral("m"));
    for (const QString &entry : refs)
        new QTreeWidgetItem(lstRefMacro, QStringList{ItemData::splitIdAndName(entry).name});
}

void frmMacros::lstCateg_ItemClick()
{
    if (lstCateg->currentItem())
        ChooseCategory();
}

void frmMacros::lstMacro_ItemClick() { ChooseMacro(); }

void frmMacros::cmdNewCateg_Click()
{
    bool ok = false;
    const QString name = prompter().inputText(QStringLiteral("Enter category name :"), AppTitle, QString(), &ok);
    if (!ok || name.isEmpty() || !ConfirmLeaveBody())
        return;
    QString reason;
    const int id = App::session().SaveMacroCategory(name, 0, &reason);
    if (id <= 0) {
        if (!reason.isEmpty())
            prompter().message(reason, AppTitle, Prompter::Icon::Exclamation);
        return;
    }
    QTreeWidgetItem *item = AddItem(lstCateg, id, name);
    m_filling = true;
    lstCateg->setCurrentItem(item);
    m_filling = false;
    lstCateg->scrollToItem(item);
    ChooseCategory();
}

void frmMacros::cmdNewMacro_Click()
{
    const int category = SelectedId(lstCateg);
    if (category <= 0)
        return;
    bool ok = false;
    const QString name = prompter().inputText(QStringLiteral("Enter macro name :"), AppTitle, QString(), &ok);
    if (!ok || name.isEmpty() || !ConfirmLeaveBody())
        return;
    QString reason;
    const int id = App::session().SaveMacro(name, category, 0, &reason);
    if (id <= 0) {
        if (!reason.isEmpty())
            prompter().message(reason, AppTitle, Prompter::Icon::Exclamation);
        return;
    }
    QTreeWidgetItem *item = AddItem(lstMacro, id, name);
    m_filling = true;
    lstMacro->setCurrentItem(item);
    m_filling = false;
    lstMacro->scrollToItem(item);
    cmdEditMacro->setEnabled(true);
    ChooseMacro();
    SetEditValue(true);
}

void frmMacros::lstCateg_DblClick()
{
    RunCommand(QStringLiteral("lstCateg_DblClick()"), [this] {
        QTreeWidgetItem *item = lstCateg->currentItem();
        if (!item || ItemData::tag(item).toInt() == 0)
            return;
        bool ok = false;
        const QString name = prompter().inputText(QStringLiteral("Modify category name :"), AppTitle, item->text(0), &ok);
        if (!ok || name.isEmpty())
            return;
        QString reason;
        if (App::session().SaveMacroCategory(name, ItemData::tag(item).toInt(), &reason) > 0)
            item->setText(0, name);
        else if (!reason.isEmpty())
            prompter().message(reason, AppTitle, Prompter::Icon::Exclamation);
    });
}

void frmMacros::lstMacro_DblClick()
{
    RunCommand(QStringLiteral("lstMacro_DblClick()"), [this] {
        QTreeWidgetItem *item = lstMacro->currentItem();
        if (!item || ItemData::tag(item).toInt() == 0)
            return;
        bool ok = false;
        const QString name = prompter().inputText(QStringLiteral("Modify macro name :"), AppTitle, item->text(0), &ok);
        if (!ok || name.isEmpty())
            return;
        QString reason;
        if (App::session().SaveMacro(name, 0, ItemData::tag(item).toInt(), &reason) > 0) {
            item->setText(0, name);
            if (m_bodyMacroId == ItemData::tag(item).toInt())
                m_bodyMacroName = name;
            setWindowTitle(QStringLiteral("Macro [") + name + QStringLiteral("]"));
        } else if (!reason.isEmpty()) {
            prompter().message(reason, AppTitle, Prompter::Icon::Exclamation);
        }
    });
}

void frmMacros::cmdDelCateg_Click()
{
    QTreeWidgetItem *item = lstCateg->currentItem();
    if (!item || ItemData::tag(item).toInt() == 0)
        return;
    const int id = ItemData::tag(item).toInt();
    const QString name = item->text(0);
    if (prompter().message(QStringLiteral("Are you sure you want to delete category '") + name + QStringLiteral("'?"),
                           AppTitle, Prompter::Icon::Question, Prompter::Buttons::YesNo)
        != Prompter::Answer::Yes)
        return;
    if (!App::session().GetMacroList(id).isEmpty()) {
        prompter().message(QStringLiteral("Cannot delete category '") + name + QStringLiteral("' because contains macros!"),
                           AppTitle, Prompter::Icon::Exclamation);
        return;
    }
    if (!App::session().DeleteMacroCategory(id))
        return;
    m_filling = true;
    lstMacro->clear();
    m_filling = false;
    ShowText(QString());
    LoadCategories();
}

void frmMacros::cmdDelMacro_Click()
{
    QTreeWidgetItem *item = lstMacro->currentItem();
    if (!item)
        return;
    if (prompter().message(QStringLiteral("Are you sure you want to delete macro '") + item->text(0) + QStringLiteral("'?"),
                           AppTitle, Prompter::Icon::Question, Prompter::Buttons::YesNo)
        != Prompter::Answer::Yes)
        return;
    if (App::session().DeleteMacro(ItemData::tag(item).toInt()))
        ChooseCategory();
}

void frmMacros::cmdSaveMacro_Click()
{
    if (lstMacro->currentItem())
        SaveBody();
}

bool frmMacros::SaveBody()
{
    if (m_bodyMacroId == 0)
        return true;
    const QString text = EditorText();
    // Another editor window may have deleted the macro; the typed text must not vanish unnoticed.
    if (!App::session().SaveMacroBody(m_bodyMacroId, text)) {
        prompter().message(QStringLiteral("The macro '") + m_bodyMacroName
                               + QStringLiteral("' no longer exists; its text was not saved."),
                           AppTitle, Prompter::Icon::Exclamation);
        return false;
    }
    ShowText(text);
    m_storedBody = text;
    return true;
}

void frmMacros::cmdExportMacro_Click()
{
    const QString path = prompter().saveFile(QStringLiteral("Export file"),
                                             QStringLiteral("Text files (*.txt)|*.txt|All files (*.*)|*.*"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    TextFile::write(path, EditorText());
}

void frmMacros::cmdImportMacro_Click()
{
    const QString path = prompter().openFile(QStringLiteral("Import file"),
                                             QStringLiteral("Text files (*.txt)|*.txt|All files (*.*)|*.*"));
    if (path.isEmpty())
        return;
    ShowText(TextFile::read(path));
}

void frmMacros::cmdReferences_Click()
{
    QTreeWidgetItem *item = lstMacro->currentItem();
    if (!item)
        return;
    const int id = ItemData::tag(item).toInt();
    const auto outcome = frmReferences::EditReferences(id, QStringLiteral("m"), this);
    if (outcome == frmReferences::Outcome::SourceMissing)
        prompter().message(QStringLiteral("The macro '") + item->text(0)
                               + QStringLiteral("' no longer exists; its references were not saved."),
                           AppTitle, Prompter::Icon::Exclamation);
    if (outcome != frmReferences::Outcome::Cancelled)
        FillReferences(id);
}

bool frmMacros::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == lstCateg || watched == lstMacro)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            watched == lstCateg ? lstCateg_DblClick() : lstMacro_DblClick();
            return true;
        }
        if (key == Qt::Key_Delete) {
            (watched == lstCateg ? cmdDelCateg : cmdDelMacro)->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMacros::closeEvent(QCloseEvent *event)
{
    bool leave = false;
    RunCommand(QStringLiteral("Form_Unload()"), [&] { leave = ConfirmLeaveBody(); });
    if (!leave) {
        event->ignore();
        return;
    }
    try {
        SaveWindowPlacement(this);
    } catch (...) {
        // Placement is a courtesy; the window closes in any case.
    }
    QWidget::closeEvent(event);
}
