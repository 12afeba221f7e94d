#include "frmReports.h"
#include "shell/Controls.h"

#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/Settings.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace {

// The three tick images: an empty box, a ticked box, and a greyed box with a bar for a report
// that another user holds.
QIcon stateIcon(int state)
{
    static QIcon icons[3];
    if (icons[state].isNull()) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(state == frmReports::HeldByOther ? QColor(200, 200, 200) : QColor(Qt::white));
        p.drawRect(QRectF(2.5, 2.5, 11, 11));
        if (state == frmReports::Ticked) {
            p.setPen(QPen(QColor(0, 110, 0), 2));
            p.drawPolyline(QPolygonF({QPointF(4.5, 8), QPointF(7, 11), QPointF(11.5, 5)}));
        } else if (state == frmReports::HeldByOther) {
            p.setPen(QPen(QColor(150, 0, 0), 2));
            p.drawLine(QPointF(5, 8), QPointF(11, 8));
        }
        p.end();
        icons[state] = QIcon(pm);
    }
    return icons[state];
}

bool isReport(const QTreeWidgetItem *item) { return ItemData::key(item).startsWith(QLatin1Char('r')); }

} // namespace

frmReports::frmReports(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmReports"));
    setWindowTitle(QStringLiteral("  Reports"));
    twRep = new QTreeWidget(this);
    twRep->setObjectName(QStringLiteral("twRep"));
    twRep->setHeaderHidden(true);
    twRep->setColumnCount(1);
    twRep->viewport()->installEventFilter(this);
    twRep->installEventFilter(this);
    lblRole = new QLabel(this);
    lblRole->setObjectName(QStringLiteral("lblRole"));
    lblRole->hide();
    cmdSelectAll = NamedButton(this, "cmdSelectAll", QStringLiteral("&Select All"), false);
    cmdDeselectAll = NamedButton(this, "cmdDeselectAll", QStringLiteral("&Deselect All"), false);
    cmdSave = NamedButton(this, "cmdSave", QStringLiteral("&Save"), false);
    cmdClose = NamedButton(this, "cmdClose", QStringLiteral("&Close"), false);
    auto *strip = new QHBoxLayout;
    strip->addWidget(cmdSelectAll);
    strip->addWidget(cmdDeselectAll);
    strip->addStretch();
    strip->addWidget(cmdSave);
    strip->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblRole);
    layout->addWidget(twRep);
    layout->addLayout(strip);
    resize(420, 520);

    connect(twRep, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { twRep_DblClick(item); });
    connect(twRep, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *item) {
        if (!isReport(item) && ItemData::key(item) != QLatin1String("c1"))
            item->setIcon(0, style()->standardIcon(QStyle::SP_DirOpenIcon));
    });
    connect(twRep, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem *item) {
        if (!isReport(item) && ItemData::key(item) != QLatin1String("c1"))
            item->setIcon(0, style()->standardIcon(QStyle::SP_DirClosedIcon));
    });
    connect(cmdSelectAll, &QPushButton::clicked, this, &frmReports::cmdSelectAll_Click);
    connect(cmdDeselectAll, &QPushButton::clicked, this, &frmReports::cmdDeselectAll_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmReports::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmReports::cmdClose_Click);
}

int frmReports::tickState(const QTreeWidgetItem *item)
{
    return isReport(item) ? item->data(0, StateRole).toInt() : NoTick;
}

void frmReports::setTickState(QTreeWidgetItem *item, int state)
{
    item->setData(0, StateRole, state);
    item->setIcon(0, stateIcon(state));
}

QString frmReports::HolderText(const QString &name, const QString &firstName, const QString &lastName)
{
    // The layout other tools of the repository show and users know: "  [" before a first name,
    // "]" after a last name, the two names joined without a blank.
    QString text = name;
    if (!firstName.isNull())
        text += QStringLiteral("  [") + firstName;
    if (!lastName.isNull())
        text += lastName + QLatin1Char(']');
    return text;
}

void frmReports::LoadMe(int IdItem)
{
    RunCommand(QStringLiteral("LoadMe()"), [&] {
        BuildTree(IdItem);
    });
    exec();
}

void frmReports::BuildTree(int IdItem)
{
    BusyCursor busy;
    m_idItem = IdItem;
    Cancel = true;
    lblRole->setText(QStringLiteral("Reports of the role '%1'").arg(RoleName));
    lblRole->setVisible(ViewFor == 0 && !RoleName.isEmpty());
    RunCommand(QStringLiteral("frmMain.LoadCateg()"), [this] { LoadCateg(); });
    if (ViewFor == 1)
        RunCommand(QStringLiteral("frmMain.LoadReportsCheckOut()"), [this] { LoadReportsCheckOut(); });
    else
        RunCommand(QStringLiteral("frmMain.LoadReports()"), [this] { LoadReports(); });
}

void frmReports::LoadCateg()
{
    twRep->clear();
    const CategoryRows rows = App::session().GetSubCategoryRows(-1);
    QHash<int, QTreeWidgetItem *> byId;
    byId.reserve(rows.size());
    for (const CategoryRow &r : rows) {
        QTreeWidgetItem *parent = r.IdParent > 0 ? byId.value(r.IdParent) : nullptr;
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(twRep);
        item->setText(0, r.Name.isNull() ? QStringLiteral("Unknown") : r.Name);
        ItemData::setKey(item, QStringLiteral("c") + QString::number(r.IdCateg));
        ItemData::setTag(item, r.IdCateg);
        item->setIcon(0, style()->standardIcon(r.IdCateg == 1 ? QStyle::SP_DirHomeIcon : QStyle::SP_DirOpenIcon));
        byId.insert(r.IdCateg, item);
    }
    for (QTreeWidgetItem *item : std::as_const(byId))
        item->setExpanded(true);
    if (QTreeWidgetItem *root = byId.value(1)) {
        twRep->setCurrentItem(root);
        twRep->scrollToItem(root);
    }
    delete byId.value(2); // the recycle bin, with everything under it
}

void frmReports::LoadReports()
{
    RepositorySession &session = App::session();
    QHash<int, QTreeWidgetItem *> categories;
    for (QTreeWidgetItemIterator it(twRep); *it; ++it)
        categories.insert(ItemData::idOfKey(ItemData::key(*it)), *it);
    QHash<int, QTreeWidgetItem *> reports;
    const ReportRows rows = session.GetReportRows(-1, 0);
    for (const ReportRow &r : rows) {
        QTreeWidgetItem *parent = categories.value(r.IdCateg);
        if (!parent)
            continue;
        auto *item = new QTreeWidgetItem(parent);
        item->setText(0, r.Name);
        ItemData::setKey(item, QStringLiteral("r") + QString::number(r.IdReport));
        ItemData::setTag(item, r.IdReport);
        setTickState(item, Unticked);
        reports.insert(r.IdReport, item);
    }
    if (m_idItem <= 0)
        return;
    for (const ReportRow &r : session.GetReportRows(-1, m_idItem))
        if (QTreeWidgetItem *item = reports.value(r.IdReport))
            setTickState(item, Ticked);
}

void frmReports::LoadReportsCheckOut()
{
    RepositorySession &session = App::session();
    QHash<int, QTreeWidgetItem *> categories;
    for (QTreeWidgetItemIterator it(twRep); *it; ++it)
        categories.insert(ItemData::idOfKey(ItemData::key(*it)), *it);
    const int me = session.CurrentUserId();
    for (const ReportRow &r : session.GetReportRows(-1, 0)) {
        QTreeWidgetItem *parent = categories.value(r.IdCateg);
        if (!parent)
            continue;
        auto *item = new QTreeWidgetItem(parent);
        item->setText(0, HolderText(r.Name, r.UserFName, r.UserLName));
        ItemData::setKey(item, QStringLiteral("r") + QString::number(r.IdReport));
        ItemData::setTag(item, r.IdReport);
        const int holder = r.IdUserAppCheckOut;
        setTickState(item, holder == me ? Ticked : holder == 0 ? Unticked : HeldByOther);
    }
}

void frmReports::twRep_DblClick(QTreeWidgetItem *item)
{
    if (!item || !isReport(item))
        return;
    const int state = tickState(item);
    if (state == Ticked)
        setTickState(item, Unticked);
    else if (state == Unticked)
        setTickState(item, Ticked);
}

bool frmReports::onTickImage(const QTreeWidgetItem *item, const QPoint &viewportPos) const
{
    if (!item || !isReport(item))
        return false;
    const QRect row = twRep->visualItemRect(item);
    const int size = twRep->iconSize().isValid() ? twRep->iconSize().width() : style()->pixelMetric(QStyle::PM_SmallIconSize);
    return viewportPos.x() >= row.left() && viewportPos.x() < row.left() + size + 6;
}

// A tick image answers a click and Space, as a check box does; a double-click on the name flips it too.
bool frmReports::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == twRep->viewport()
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        auto *me = static_cast<QMouseEvent *>(event);
        QTreeWidgetItem *item = twRep->itemAt(me->position().toPoint());
        if (me->button() == Qt::LeftButton && onTickImage(item, me->position().toPoint())) {
            // Each press flips the tick; the double-click that follows a second press is not a
            // flip of its own.
            if (event->type() == QEvent::MouseButtonDblClick)
                return true;
            twRep_DblClick(item);
        }
    } else if (watched == twRep && event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (ke->key() == Qt::Key_Space && ke->modifiers() == Qt::NoModifier && isReport(twRep->currentItem())) {
            twRep_DblClick(twRep->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmReports::tickAll(bool ticked)
{
    for (QTreeWidgetItemIterator it(twRep); *it; ++it)
        if (isReport(*it) && tickState(*it) != HeldByOther)
            setTickState(*it, ticked ? Ticked : Unticked);
}

void frmReports::cmdSelectAll_Click() { tickAll(true); }
void frmReports::cmdDeselectAll_Click() { tickAll(false); }

QList<int> frmReports::TickedReports() const
{
    QList<int> ids;
    for (QTreeWidgetItemIterator it(twRep); *it; ++it)
        if (tickState(*it) == Ticked)
            ids.append(ItemData::tag(*it).toInt());
    return ids;
}

void frmReports::cmdSave_Click()
{
    RunCommand(QStringLiteral("cmdSave_Click()"), [this] {
        bool saved = true;
        {
            BusyCursor busy;
            const QList<int> ids = TickedReports();
            if (ViewFor == 1)
                App::session().CheckOutReports(ids, true);
            else
                saved = App::session().SaveRoleReports(m_idItem, ids);
        }
        if (!saved)
            return;
        hide();
        QCoreApplication::processEvents();
        Cancel = false;
        accept();
    });
}

void frmReports::cmdClose_Click()
{
    hide();
    QCoreApplication::processEvents();
    reject();
}

void frmReports::hideEvent(QHideEvent *event)
{
    try {
        SaveWindowPlacement(this);
    } catch (...) {
        // A placement that cannot be recorded does not keep the window open.
    }
    QDialog::hideEvent(event);
}
