#pragma once

#include <QList>
#include <QSet>
#include <QStringList>
#include <QTableWidget>

// The editable grid of a data source's variables. Rows are counted as the window counts them:
// grid row 0 is the header, rows 1.. are the table's rows, and the last row is the blank row a
// new variable is typed into. Each row carries a row value (the variable's id, 0 new, the negated
// id when its lookup text was changed in the memo editor) and a changed flag kept by the grid.
class VariablesGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit VariablesGrid(QWidget *parent = nullptr);

    // "<Name   |<Type  |...": one cell per column, "<" ">" "^" for the alignment, the blanks
    // giving the width.
    void setFormatString(const QString &format);
    void setColumnKind(int col, bool dropDown, bool editInPlace);
    // Entries "key#$#text" of a drop-down column.
    void setColumnList(int col, const QStringList &entries);

    void clearGrid();                     // header only; forgets deleted rows
    int Rows() const { return rowCount() + 1; }
    void setRows(int rows);               // header included; new rows are blank
    int Row() const { return currentRow() + 1; }
    int Col() const { return currentColumn(); }
    void setCurrentCell(int row, int col) { QTableWidget::setCurrentCell(row - 1, col); }
    QString TextMatrix(int row, int col) const;
    // On a drop-down column a key shows as its text; CellKey gives the key back.
    void setTextMatrix(int row, int col, const QString &text);
    QString CellKey(int row, int col) const;
    int RowValue(int row) const;
    void setRowValue(int row, int value);
    bool RowChanged(int row) const;
    // Inserts a row at grid row `row` (the rows from there on move down).
    void AddItem(int row, const QStringList &cells);
    void ExchangeRows(int a, int b);
    void setEditable(bool on);
    bool isEditable() const { return m_editable; }
    void setRedraw(bool on) { setUpdatesEnabled(on); }
    // The screen rectangle of a cell relative to the grid widget.
    QRect CellRect(int row, int col) const;

    // Change records of the new and changed rows (not the blank row): grid row, row value and the
    // cells 1..lastCol, escaped, joined by "#$#". memoCol is left to the caller, who appends it.
    // False when a row cannot be stored (a type that is not in the list).
    bool GetChanges(QStringList &records, int lastCol, int memoCol);
    // Ids of the stored rows the user deleted since the last clear.
    QList<int> DeletedRows() const { return m_deleted; }
    // Whether anything typed, moved, edited in the memo editor or deleted waits for a save.
    bool HasChanges();

    // Ends an in-place edit, keeping what was typed.
    void CommitEdit();
    // Deletes a row after asking beforeDeleteRow; false when cancelled or not deletable.
    bool DeleteRow(int row);

Q_SIGNALS:
    void rowAdded(int row);
    void beforeDeleteRow(bool &cancel);
    // A cell activated with the mouse (double-click) or a key typed in it (not Delete, Escape,
    // navigation or modifier keys).
    void cellActivated();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QTableWidgetItem *makeItem(int col, const QString &text) const;
    void fillBlankRow(int tableRow);
    void onItemChanged(QTableWidgetItem *item);
    void setQuietText(int row, int col, const QString &text);
    void fitColumns();

    QList<bool> m_dropDown, m_inPlace;
    QList<QList<QPair<QString, QString>>> m_lists; // key, text per column
    QList<int> m_deleted;
    QList<int> m_formatWidths; // the widths the format text gives, kept as proportions
    bool m_editable = true;
    int m_quiet = 0;
};
