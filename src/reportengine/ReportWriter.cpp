#include "ReportWriter.h"

#include "TextFields.h"
#include "WallDateTime.h"
#include "repository/AppError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>

#include <xlsxwriter.h>

#include <charconv>
#include <memory>

namespace {

constexpr int MaxCellText = 32767; // what one cell holds

enum class CellKind { Blank, Number, Date, DateTime, Text, Bool };

struct Cell {
    CellKind kind = CellKind::Blank;
    double number = 0;
    WallDateTime when;
    QString text; // a Text cell's text; for a date read from text, that text
};

struct ColumnPlan {
    QString header;
    ReportColumnDef def;
};

QList<ColumnPlan> planColumns(const ReportDefinition &def, const QSqlRecord &record)
{
    QList<ColumnPlan> plan;
    QStringList names;
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    for (int i = 0; i < record.count(); ++i) {
        ColumnPlan p;
        p.header = names[i];
        bool found = false;
        for (const ReportColumnDef &c : def.columns) {
            if (c.name.compare(names[i], Qt::CaseInsensitive) == 0) {
                p.def = c;
                found = true;
                break;
            }
        }
        // A definition column whose name matches no query column applies by its position.
        if (!found && i < def.columns.size()) {
            const QString &n = def.columns[i].name;
            bool named = false;
            for (const QString &q : names)
                named = named || q.compare(n, Qt::CaseInsensitive) == 0;
            if (!named)
                p.def = def.columns[i];
        }
        plan << p;
    }
    return plan;
}

Cell toCell(const QVariant &v, int forced)
{
    Cell c;
    if (v.isNull())
        return c;
    const int id = v.typeId();
    switch (forced) {
    case ReportColumnDef::Text:
        c.kind = CellKind::Text;
        c.text = id == QMetaType::Double ? QString::number(v.toDouble(), 'g', 15) : v.toString();
        return c;
    case ReportColumnDef::Number: {
        bool ok = false;
        const double d = id == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
        if (ok) {
            c.kind = CellKind::Number;
            c.number = d;
            return c;
        }
        break; // not a number: kept as the text it is
    }
    case ReportColumnDef::Date: {
        bool ok = false;
        if (id == QMetaType::QDate) {
            c.when = WallDateTime::fromDate(v.toDate());
            ok = c.when.valid;
        } else if (id == QMetaType::QDateTime) {
            c.when = WallDateTime::fromDateTime(v.toDateTime());
            ok = c.when.valid;
        } else {
            c.text = v.toString();
            ok = ParseWallDateTime(c.text, c.when);
        }
        if (ok) {
            c.kind = c.when.hasTime() ? CellKind::DateTime : CellKind::Date;
            return c;
        }
        c.text.clear();
        break;
    }
    default:
        break;
    }
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        c.kind = CellKind::Number;
        c.number = v.toDouble();
        return c;
    case QMetaType::Bool:
        c.kind = CellKind::Bool;
        c.number = v.toBool() ? 1 : 0;
        return c;
    case QMetaType::QDate:
        c.kind = CellKind::Date;
        c.when = WallDateTime::fromDate(v.toDate());
        return c;
    case QMetaType::QDateTime:
        c.when = WallDateTime::fromDateTime(v.toDateTime());
        c.kind = c.when.hasTime() ? CellKind::DateTime : CellKind::Date;
        return c;
    default:
        c.kind = CellKind::Text;
        c.text = v.toString();
        return c;
    }
}

// The field of a text report; a date read from text that is already in the written form is
// copied as it is.
void appendCellText(QByteArray &out, const Cell &c)
{
    switch (c.kind) {
    case CellKind::Blank:
        return;
    case CellKind::Number:
        AppendNumberText(out, c.number);
        return;
    case CellKind::Bool:
        out += c.number != 0 ? '1' : '0';
        return;
    case CellKind::Date:
    case CellKind::DateTime: {
        const QStringView source = QStringView(c.text).trimmed();
        if (IsWallDateTimeText(source, c.when))
            AppendFieldText(out, source);
        else
            c.when.appendText(out);
        return;
    }
    case CellKind::Text:
        AppendFieldText(out, c.text);
        return;
    }
}

void checkQuery(const QSqlQuery &query)
{
    if (query.lastError().isValid())
        throw AppError(ErrorNumber::Database,
                       QStringLiteral("Reading the report's rows failed: %1").arg(query.lastError().text()));
}

QString columnLetters(int col)
{
    QString s;
    for (int n = col + 1; n > 0; n = (n - 1) / 26)
        s.prepend(QChar('A' + (n - 1) % 26));
    return s;
}

// The frozen cell: none, under the header (a truth value), or the cell given ("B3").
bool freezeCell(const QString &stored, int headerRow, int &row, int &col)
{
    static const QRegularExpression cellRef(QStringLiteral("^\\s*([A-Za-z]{1,3})([0-9]{1,7})\\s*$"));
    const QRegularExpressionMatch m = cellRef.match(stored);
    if (m.hasMatch()) {
        int c = 0;
        for (QChar ch : m.captured(1).toUpper())
            c = c * 26 + (ch.unicode() - 'A' + 1);
        row = m.captured(2).toInt() - 1;
        col = c - 1;
        // A cell outside the sheet would be written as given, into a file that cannot be opened.
        if (row < 0 || row >= int(LXW_ROW_MAX) || col >= LXW_COL_MAX)
            return false;
        return row > 0 || col > 0;
    }
    if (!SettingIsOn(stored, false))
        return false;
    row = headerRow + 1;
    col = 0;
    return true;
}

struct WorkbookCloser {
    lxw_workbook *wb = nullptr;
    ~WorkbookCloser()
    {
        if (wb)
            lxw_workbook_free(wb); // an abandoned workbook: nothing more is written
    }
};

[[noreturn]] void fail(lxw_error e, const QString &what)
{
    throw AppError(ErrorNumber::Generic,
                   QStringLiteral("The workbook could not be written (%1): %2").arg(what, QString::fromUtf8(lxw_strerror(e))));
}

void check(lxw_error e, const QString &what)
{
    if (e != LXW_NO_ERROR)
        fail(e, what);
}

// `text` as UTF-8 in `buffer`, which is kept from cell to cell so that a cell costs no allocation.
const char *utf8(QByteArray &buffer, QStringView text)
{
    buffer.resize(0); // keeps its room
    AppendUtf8(buffer, text);
    return buffer.constData();
}

} // namespace

QString SafeSheetName(const QString &name)
{
    QString s = name;
    for (QChar &c : s)
        if (QStringLiteral("[]:*?/\\").contains(c) || c.unicode() < 32)
            c = QLatin1Char('_');
    while (s.startsWith(QLatin1Char('\'')))
        s.remove(0, 1);
    while (s.endsWith(QLatin1Char('\'')))
        s.chop(1);
    s = s.trimmed().left(31);
    return s.isEmpty() ? QStringLiteral("Sheet1") : s;
}

qint64 WriteWorkbook(const QString &path, const ReportDefinition &def, QSqlQuery &query)
{
    const QSqlRecord record = query.record();
    const QList<ColumnPlan> plan = planColumns(def, record);
    const int ncols = plan.size();
    if (ncols > LXW_COL_MAX)
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The report returns %1 columns; a worksheet holds %2.").arg(ncols).arg(LXW_COL_MAX));

    QByteArray tmpdir = QDir::tempPath().toUtf8();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE; // rows go to disk as they are written
    options.tmpdir = tmpdir.data();
    options.use_zip64 = LXW_TRUE;
    WorkbookCloser closer;
    closer.wb = workbook_new_opt(path.toUtf8().constData(), &options);
    if (!closer.wb)
        throw AppError(ErrorNumber::Generic, QStringLiteral("The workbook '%1' could not be created.").arg(path));
    lxw_workbook *wb = closer.wb;
    const QByteArray sheetName = SafeSheetName(def.sheet.sheetName.isEmpty() ? def.name : def.sheet.sheetName).toUtf8();
    lxw_worksheet *ws = workbook_add_worksheet(wb, sheetName.constData());
    if (!ws)
        throw AppError(ErrorNumber::Generic, QStringLiteral("The worksheet could not be added to the workbook."));

    const QByteArray fontName = def.sheet.fontName.trimmed().toUtf8();
    const double fontSize = def.sheet.fontSize > 0 ? def.sheet.fontSize : 0;
    auto newFormat = [&] {
        lxw_format *f = workbook_add_format(wb);
        if (!fontName.isEmpty())
            format_set_font_name(f, fontName.constData());
        if (fontSize > 0)
            format_set_font_size(f, fontSize);
        return f;
    };
    // Cells without a font of their own are written without a format: this writer looks a
    // format up by hashing it on every cell, which is most of its time on large reports.
    lxw_format *plain = fontName.isEmpty() && fontSize <= 0 ? nullptr : newFormat();
    lxw_format *date = newFormat();
    format_set_num_format(date, "yyyy-mm-dd");
    lxw_format *dateTime = newFormat();
    format_set_num_format(dateTime, "yyyy-mm-dd hh:mm:ss");
    lxw_format *header = newFormat();
    format_set_bold(header);
    lxw_format *total = newFormat();
    format_set_bold(total);
    lxw_format *title = newFormat();
    format_set_bold(title);
    format_set_font_size(title, (fontSize > 0 ? fontSize : 11) + 4);

    if (!SettingIsOn(def.sheet.showGridLines, true))
        worksheet_gridlines(ws, LXW_HIDE_ALL_GRIDLINES);

    for (int c = 0; c < ncols; ++c) {
        const ReportColumnDef &d = plan[c].def;
        const double width = d.width > 0 ? qMin(d.width, 255) : LXW_DEF_COL_WIDTH;
        lxw_row_col_options opt{};
        opt.hidden = d.hide ? 1 : 0;
        check(worksheet_set_column_opt(ws, c, c, width, plain, &opt), QStringLiteral("column settings"));
    }

    lxw_row_t row = 0;
    const QString titleText = def.sheet.reportTitle.trimmed();
    if (!titleText.isEmpty()) {
        check(worksheet_write_string(ws, row, 0, titleText.toUtf8().constData(), title), QStringLiteral("title"));
        row += 2; // a blank row between the title and the table
    }
    const lxw_row_t headerRow = row;
    for (int c = 0; c < ncols; ++c)
        check(worksheet_write_string(ws, headerRow, c, plan[c].header.toUtf8().constData(), header),
              QStringLiteral("header"));
    ++row;

    QList<double> sums(ncols, 0.0);
    bool anySum = false;
    for (const ColumnPlan &p : plan)
        anySum = anySum || p.def.autoSum;
    qint64 rows = 0;
    const lxw_row_t lastAllowed = LXW_ROW_MAX - 1 - (anySum ? 1 : 0);
    QByteArray cellBytes;
    while (query.next()) {
        if (row > lastAllowed)
            throw AppError(ErrorNumber::InvalidArgument,
                           QStringLiteral("The report returns more rows than a worksheet holds (%1).").arg(LXW_ROW_MAX));
        for (int c = 0; c < ncols; ++c) {
            const Cell cell = toCell(query.value(c), plan[c].def.type);
            lxw_error e = LXW_NO_ERROR;
            switch (cell.kind) {
            case CellKind::Blank:
                break;
            case CellKind::Number:
                e = worksheet_write_number(ws, row, c, cell.number, plain);
                if (plan[c].def.autoSum)
                    sums[c] += cell.number;
                break;
            case CellKind::Bool:
                e = worksheet_write_boolean(ws, row, c, int(cell.number), plain);
                break;
            case CellKind::Date:
            case CellKind::DateTime: {
                const WallDateTime &w = cell.when;
                lxw_datetime dt{w.year, w.month, w.day, w.hour, w.minute, w.second + w.msec / 1000.0};
                e = worksheet_write_datetime(ws, row, c, &dt, cell.kind == CellKind::Date ? date : dateTime);
                break;
            }
            case CellKind::Text:
                e = worksheet_write_string(ws, row, c, utf8(cellBytes, QStringView(cell.text).left(MaxCellText)), plain);
                break;
            }
            if (e != LXW_NO_ERROR)
                fail(e, QStringLiteral("row %1").arg(rows + 1));
        }
        ++row;
        ++rows;
    }
    checkQuery(query);
    const lxw_row_t lastDataRow = row - 1; // the header row when there is no data
    // Rows are flushed as they go: the filter range must be given while its last row is current.
    if (SettingIsOn(def.sheet.showAutoFilters, false) && ncols > 0)
        check(worksheet_autofilter(ws, headerRow, 0, lastDataRow, ncols - 1), QStringLiteral("auto filter"));

    if (anySum) {
        bool labelled = false;
        for (int c = 0; c < ncols; ++c) {
            if (plan[c].def.autoSum) {
                const QString col = columnLetters(c);
                if (rows > 0) {
                    const QString formula = QStringLiteral("=SUM(%1%2:%1%3)").arg(col).arg(headerRow + 2).arg(lastDataRow + 1);
                    check(worksheet_write_formula_num(ws, row, c, formula.toUtf8().constData(), total, sums[c]),
                          QStringLiteral("totals"));
                } else {
                    check(worksheet_write_number(ws, row, c, 0, total), QStringLiteral("totals"));
                }
            } else if (!labelled && c == 0) {
                check(worksheet_write_string(ws, row, c, "Total", total), QStringLiteral("totals"));
                labelled = true;
            }
        }
    }

    int frow = 0, fcol = 0;
    if (freezeCell(def.sheet.freezPanel, int(headerRow), frow, fcol))
        worksheet_freeze_panes(ws, frow, fcol);

    lxw_workbook *toClose = closer.wb;
    closer.wb = nullptr; // workbook_close frees it, also when it fails
    check(workbook_close(toClose), path);
    return rows;
}

qint64 WriteTextFile(const QString &path, const ReportDefinition &def, QSqlQuery &query)
{
    const QList<ColumnPlan> plan = planColumns(def, query.record());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw AppError(ErrorNumber::Generic,
                       QStringLiteral("The file '%1' cannot be written: %2").arg(path, file.errorString()));
    QList<int> shown;
    for (int c = 0; c < plan.size(); ++c)
        if (!plan[c].def.hide)
            shown << c;
    constexpr qsizetype Chunk = 1 << 16;
    QByteArray buffer;
    buffer.reserve(Chunk + 4096);
    auto flush = [&] {
        if (file.write(buffer) != buffer.size())
            throw AppError(ErrorNumber::Generic,
                           QStringLiteral("The file '%1' cannot be written: %2").arg(path, file.errorString()));
        buffer.resize(0);
    };
    for (int i = 0; i < shown.size(); ++i) {
        if (i > 0)
            buffer += '\t';
        AppendFieldText(buffer, plan[shown[i]].header);
    }
    buffer += '\n';
    qint64 rows = 0;
    char digits[24];
    while (query.next()) {
        for (int i = 0; i < shown.size(); ++i) {
            if (i > 0)
                buffer += '\t';
            const int c = shown[i];
            const QVariant v = query.value(c);
            const int id = v.typeId();
            // Whole numbers keep every digit (a double would round ids beyond 2^53).
            if (plan[c].def.type == ReportColumnDef::Auto && !v.isNull()
                && (id == QMetaType::LongLong || id == QMetaType::ULongLong || id == QMetaType::Int)) {
                const auto r = id == QMetaType::ULongLong ? std::to_chars(digits, digits + sizeof digits, v.toULongLong())
                                                          : std::to_chars(digits, digits + sizeof digits, v.toLongLong());
                buffer.append(digits, r.ptr - digits);
            } else {
                appendCellText(buffer, toCell(v, plan[c].def.type));
            }
        }
        buffer += '\n';
        if (buffer.size() >= Chunk)
            flush();
        ++rows;
    }
    checkQuery(query);
    flush();
    if (file.error() != QFileDevice::NoError)
        throw AppError(ErrorNumber::Generic,
                       QStringLiteral("The file '%1' cannot be written: %2").arg(path, file.errorString()));
    file.close();
    return rows;
}
