#include "VariablesGrid.h"

#include "repository/RepositorySession.h"

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyledItemDelegate>

namespace {
constexpr int RowValueRole = Qt::UserRole + 10;
constexpr int ChangedRole = Qt::UserRole + 11;
constexpr int KeyRole = Qt::UserRole + 12;

// The drop-down list of a column: shows the entry texts, stores the key beside the text.
class DropDownDelegate : public QStyledItemDelegate {
public:
    DropDownDelegate(const QList<QPair<QString, QString>> *entries, QObject *parent)
        : QStyledItemDelegate(parent), m_entries(entries) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        auto *combo = new QComboBox(parent);
        for (const auto &[key, text] : *m_entries)
            combo->addItem(text, key);
        return combo;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *combo = static_cast<QComboBox *>(editor);
        combo->setCurrentIndex(qMax(0, combo->findData(index.data(KeyRole).toString())));
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        auto *combo = static_cast<QComboBox *>(editor);
        if (combo->currentIndex() < 0)
            return;
        model->setData(index, combo->currentData().toString(), KeyRole);
        model->setData(index, combo->currentText(), Qt::DisplayRole);
    }

private:
    const QList<QPair<QString, QString>> *m_entries;
};
} // namespace

VariablesGrid::VariablesGrid(QWidget *parent) : QTableWidget(parent)
{
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    // Column 0 carries the variable's number: a second column of row numbers would repeat it.
    verticalHeader()->hide();
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    connect(this, &QTableWidget::itemChanged, this, &VariablesGrid::onItemChanged);
    connect(this, &QTableWidget::cellDoubleClicked, this, [this] { emit cellActivated(); });
}

void VariablesGrid::setFormatString(const QString &format)
{
    const QStringList cells = format.split(QLatin1Char('|'));
    setColumnCount(int(cells.size()));
    m_dropDown = QList<bool>(cells.size(), false);
    m_inPlace = QList<bool>(cells.size(), false);
    m_lists = QList<QList<QPair<QString, QString>>>(cells.size());
    m_formatWidths.clear();
    for (int c = 0; c < cells.size(); ++c) {
        QString cell = cells.at(c);
        Qt::Alignment align = Qt::AlignLeft;
        if (cell.startsWith(QLatin1Char('<')) || cell.startsWith(QLatin1Char('>')) || cell.startsWith(QLatin1Char('^'))) {
            align = cell.startsWith(QLatin1Char('>')) ? Qt::AlignRight
                  : cell.startsWith(QLatin1Char('^')) ? Qt::AlignHCenter : Qt::AlignLeft;
            cell = cell.mid(1);
        }
        auto *h = new QTableWidgetItem(cell.trimmed().isEmpty() ? cell : cell.trimmed());
        h->setTextAlignment(align | Qt::AlignVCenter);
        setHorizontalHeaderItem(c, h);
        m_formatWidths << fontMetrics().horizontalAdvance(cell) + 8;
        setColumnWidth(c, m_formatWidths.last());
    }
    fitColumns();
}

void VariablesGrid::showEvent(QShowEvent *event)
{
    QTableWidget::showEvent(event);
    fitColumns();
}

bool VariablesGrid::viewportEvent(QEvent *event)
{
    const bool handled = QTableWidget::viewportEvent(event);
    if (event->type() == QEvent::Resize) // also when a vertical scroll bar comes or goes
        fitColumns();
    return handled;
}

// The columns fill the width in the proportions of the format text; the last one (the lookup
// query, the longest text of a variable) is kept the widest.
void VariablesGrid::fitColumns()
{
    const int n = int(m_formatWidths.size());
    if (n < 3 || columnCount() != n)
        return;
    const int first = qMax(m_formatWidths.first(), horizontalHeader()->minimumSectionSize());
    const int width = viewport()->width() - first;
    if (width <= 0)
        return;
    int middle = 0;
    for (int c = 1; c < n - 1; ++c)
        middle += m_formatWidths.at(c);
    const int total = middle + m_formatWidths.last();
    int last = width * m_formatWidths.last() / total;
    int widest = 0;
    for (int c = 1; c < n - 1; ++c)
        widest = qMax(widest, width * m_formatWidths.at(c) / total);
    if (last <= widest)
        last = qMin(width / 2, widest * 5 / 4);
    const int rest = width - last;
    setColumnWidth(0, first);
    int used = 0;
    for (int c = 1; c < n - 1; ++c) {
        const int w = rest * m_formatWidths.at(c) / middle;
        setColumnWidth(c, w);
        used += w;
    }
    setColumnWidth(n - 1, width - used);
}

void VariablesGrid::setColumnKind(int col, bool dropDown, bool editInPlace)
{
    if (col < 0 || col >= m_dropDown.size())
        return;
    m_dropDown[col] = dropDown;
    m_inPlace[col] = editInPlace;
    if (dropDown)
        setItemDelegateForColumn(col, new DropDownDelegate(&m_lists[col], this));
}

void VariablesGrid::setColumnList(int col, const QStringList &entries)
{
    if (col < 0 || col >= m_lists.size())
        return;
    m_lists[col].clear();
    for (const QString &e : entries) {
        const qsizetype at = e.indexOf(IdNameSeparator);
        if (at < 0)
            m_lists[col] << qMakePair(e, e);
        else
            m_lists[col] << qMakePair(e.left(at), e.mid(at + IdNameSeparator.size()));
    }
}

QTableWidgetItem *VariablesGrid::makeItem(int col, const QString &text) const
{
    auto *item = new QTableWidgetItem(text);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (col < m_inPlace.size() && m_inPlace.at(col))
        flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    return item;
}

void VariablesGrid::fillBlankRow(int tableRow)
{
    ++m_quiet;
    for (int c = 0; c < columnCount(); ++c)
        setItem(tableRow, c, makeItem(c, QString()));
    item(tableRow, 0)->setData(RowValueRole, 0);
    item(tableRow, 0)->setData(ChangedRole, false);
    --m_quiet;
}

void VariablesGrid::clearGrid()
{
    ++m_quiet;
    setRowCount(0);
    m_deleted.clear();
    --m_quiet;
}

void VariablesGrid::setRows(int rows)
{
    const int old = rowCount();
    ++m_quiet;
    setRowCount(qMax(0, rows - 1));
    for (int r = old; r < rowCount(); ++r)
        fillBlankRow(r);
    --m_quiet;
}

QString VariablesGrid::TextMatrix(int row, int col) const
{
    const QTableWidgetItem *it = item(row - 1, col);
    return it ? it->text() : QString();
}

void VariablesGrid::setQuietText(int row, int col, const QString &text)
{
    ++m_quiet;
    setTextMatrix(row, col, text);
    --m_quiet;
}

void VariablesGrid::setTextMatrix(int row, int col, const QString &text)
{
    QTableWidgetItem *it = item(row - 1, col);
    if (!it) {
        if (row < 1 || row > rowCount() || col < 0 || col >= columnCount())
            return;
        it = makeItem(col, QString());
        ++m_quiet;
        setItem(row - 1, col, it);
        --m_quiet;
    }
    if (col < m_dropDown.size() && m_dropDown.at(col)) {
        QString shown = text;
        QString key = text;
        for (const auto &[k, t] : m_lists.at(col))
            if (k == text || t == text) {
                key = k;
                shown = t;
                break;
            }
        ++m_quiet;
        it->setData(KeyRole, key);
        --m_quiet;
        it->setText(shown);
        return;
    }
    it->setText(text);
}

QString VariablesGrid::CellKey(int row, int col) const
{
    const QTableWidgetItem *it = item(row - 1, col);
    if (!it)
        return {};
    const QVariant key = it->data(KeyRole);
    return key.isValid() ? key.toString() : it->text();
}

int VariablesGrid::RowValue(int row) const
{
    const QTableWidgetItem *it = item(row - 1, 0);
    return it ? it->data(RowValueRole).toInt() : 0;
}

void VariablesGrid::setRowValue(int row, int value)
{
    if (QTableWidgetItem *it = item(row - 1, 0)) {
        ++m_quiet;
        it->setData(RowValueRole, value);
        --m_quiet;
    }
}

bool VariablesGrid::RowChanged(int row) const
{
    const QTableWidgetItem *it = item(row - 1, 0);
    return it && it->data(ChangedRole).toBool();
}

void VariablesGrid::AddItem(int row, const QStringList &cells)
{
    const int at = qBound(0, row - 1, rowCount());
    ++m_quiet;
    insertRow(at);
    fillBlankRow(at);
    for (int c = 0; c < cells.size() && c < columnCount(); ++c)
        setTextMatrix(at + 1, c, cells.at(c));
    --m_quiet;
}

void VariablesGrid::ExchangeRows(int a, int b)
{
    if (a < 1 || b < 1 || a > rowCount() || b > rowCount() || a == b)
        return;
    CommitEdit();
    ++m_quiet;
    for (int c = 0; c < columnCount(); ++c) {
        QTableWidgetItem *ia = takeItem(a - 1, c);
        QTableWidgetItem *ib = takeItem(b - 1, c);
        setItem(a - 1, c, ib);
        setItem(b - 1, c, ia);
    }
    --m_quiet;
}

void VariablesGrid::setEditable(bool on)
{
    m_editable = on;
    setEditTriggers(on ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked
                       : QAbstractItemView::NoEditTriggers);
}

QRect VariablesGrid::CellRect(int row, int col) const
{
    const QRect r = visualRect(model()->index(row - 1, col));
    return QRect(viewport()->mapTo(this, r.topLeft()), r.size());
}

void VariablesGrid::onItemChanged(QTableWidgetItem *changed)
{
    if (m_quiet)
        return;
    const int tableRow = changed->row();
    ++m_quiet;
    if (QTableWidgetItem *first = item(tableRow, 0))
        first->setData(ChangedRole, true);
    // A cleared drop-down cell holds no key any more: the row is stored with the default.
    if (changed->text().isEmpty() && changed->column() < m_dropDown.size() && m_dropDown.at(changed->column()))
        changed->setData(KeyRole, QVariant());
    --m_quiet;
    // Typing into the blank last row makes it a variable and opens a new blank row below it.
    if (tableRow == rowCount() - 1 && !changed->text().isEmpty()) {
        ++m_quiet;
        insertRow(rowCount());
        fillBlankRow(rowCount() - 1);
        --m_quiet;
        emit rowAdded(tableRow + 1);
    }
}

void VariablesGrid::CommitEdit()
{
    if (state() != EditingState)
        return;
    // The open editor is a direct child of the viewport; commitData ignores any other widget.
    const QList<QWidget *> children = viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *editor : children) {
        if (!editor->isVisible())
            continue;
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
        break;
    }
}

bool VariablesGrid::GetChanges(QStringList &records, int lastCol, int memoCol)
{
    Q_UNUSED(memoCol);
    CommitEdit();
    records.clear();
    for (int row = 1; row < Rows() - 1; ++row) {
        const int value = RowValue(row);
        if (value > 0 && !RowChanged(row))
            continue;
        QStringList fields{QString::number(row), QString::number(value)};
        for (int c = 1; c <= lastCol && c < columnCount(); ++c) {
            QString cell = TextMatrix(row, c);
            if (c < m_dropDown.size() && m_dropDown.at(c)) {
                cell = CellKey(row, c);
                bool numeric = false;
                cell.toInt(&numeric);
                if (!cell.isEmpty() && !numeric)
                    return false;
            }
            fields << cell;
        }
        records << ChangeRecord::join(fields);
    }
    return true;
}

bool VariablesGrid::HasChanges()
{
    CommitEdit();
    if (!m_deleted.isEmpty())
        return true;
    for (int row = 1; row < Rows() - 1; ++row)
        if (RowValue(row) <= 0 || RowChanged(row))
            return true;
    return false;
}

bool VariablesGrid::DeleteRow(int row)
{
    // The blank row is where new variables are typed; it stays.
    if (row < 1 || row >= Rows() - 1)
        return false;
    if (row != Row())
        setCurrentCell(row, qMax(0, Col()));
    bool cancel = false;
    emit beforeDeleteRow(cancel);
    if (cancel)
        return false;
    const int value = RowValue(row);
    if (value != 0)
        m_deleted << qAbs(value);
    ++m_quiet;
    removeRow(row - 1);
    --m_quiet;
    return true;
}

void VariablesGrid::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Delete && m_editable && currentRow() >= 0) {
        if (selectionModel()->isRowSelected(currentRow(), QModelIndex())) {
            DeleteRow(Row());
            return;
        }
        QTableWidgetItem *it = currentItem();
        if (it && (it->flags() & Qt::ItemIsEditable) && state() != EditingState) {
            it->setText(QString());
            return;
        }
    }
    switch (key) {
    case Qt::Key_Delete: case Qt::Key_Escape:
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Left: case Qt::Key_Right:
    case Qt::Key_Tab: case Qt::Key_Backtab: case Qt::Key_Home: case Qt::Key_End:
    case Qt::Key_PageUp: case Qt::Key_PageDown:
    case Qt::Key_Shift: case Qt::Key_Control: case Qt::Key_Alt: case Qt::Key_Meta:
        break;
    default:
        // Shortcuts (Ctrl, Alt) belong to the window, not to the memo editor.
        if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            break;
        if (m_editable && currentColumn() >= 0 && !(currentItem() && (currentItem()->flags() & Qt::ItemIsEditable))) {
            emit cellActivated();
            return;
        }
    }
    QTableWidget::keyPressEvent(event);
}
