/* The floor for bench_reportengine: the benchmark's workbook written by libxlsxwriter straight
 * from C, reading the same SQLite rows, with the same layout (title, header, typed cells, widths,
 * hidden column, dates, totals, auto filter, frozen panes) and the same constant-memory mode.
 * Usage: xlsx_floor DATA.db OUT.xlsx ROWS */
#include <sqlite3.h>
#include <xlsxwriter.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { NCOLS = 10 };

static const char *Sql =
    "Select Id, Name, Region, Qty, Amount, Price, SoldOn, Note, Code, Ratio From Sales Where Id <= ? Order By Id";
static const char *Names[NCOLS] = {"Id", "Name", "Region", "Qty", "Amount", "Price", "SoldOn", "Note", "Code", "Ratio"};
static const double Widths[NCOLS] = {8, 24, 10, LXW_DEF_COL_WIDTH, 12, LXW_DEF_COL_WIDTH, 12, 30, 8, LXW_DEF_COL_WIDTH};

static int parseDate(const unsigned char *s, lxw_datetime *dt)
{
    if (!s || strlen((const char *)s) != 10 || s[4] != '-' || s[7] != '-')
        return 0;
    dt->year = atoi((const char *)s);
    dt->month = atoi((const char *)s + 5);
    dt->day = atoi((const char *)s + 8);
    dt->hour = dt->min = 0;
    dt->sec = 0;
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: xlsx_floor DATA.db OUT.xlsx ROWS\n");
        return 2;
    }
    sqlite3 *db = NULL;
    sqlite3_stmt *st = NULL;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK
        || sqlite3_prepare_v2(db, Sql, -1, &st, NULL) != SQLITE_OK) {
        fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return 1;
    }
    sqlite3_bind_int(st, 1, atoi(argv[3]));

    lxw_workbook_options options = {.constant_memory = LXW_TRUE, .tmpdir = NULL, .use_zip64 = LXW_TRUE};
    lxw_workbook *wb = workbook_new_opt(argv[2], &options);
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Bench");
    lxw_format *date = workbook_add_format(wb);
    format_set_num_format(date, "yyyy-mm-dd");
    lxw_format *bold = workbook_add_format(wb);
    format_set_bold(bold);
    lxw_format *total = workbook_add_format(wb);
    format_set_bold(total);
    lxw_format *title = workbook_add_format(wb);
    format_set_bold(title);
    format_set_font_size(title, 15);

    for (int c = 0; c < NCOLS; ++c) {
        lxw_row_col_options opt = {.hidden = c == 7};
        worksheet_set_column_opt(ws, c, c, Widths[c], NULL, &opt);
    }
    worksheet_write_string(ws, 0, 0, "Benchmark", title);
    for (int c = 0; c < NCOLS; ++c)
        worksheet_write_string(ws, 2, c, Names[c], bold);

    lxw_row_t row = 3;
    double sumQty = 0, sumAmount = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < NCOLS; ++c) {
            lxw_datetime dt;
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_NULL:
                break;
            case SQLITE_INTEGER:
            case SQLITE_FLOAT: {
                const double v = sqlite3_column_double(st, c);
                worksheet_write_number(ws, row, c, v, NULL);
                if (c == 3)
                    sumQty += v;
                else if (c == 4)
                    sumAmount += v;
                break;
            }
            default:
                if (c == 6 && parseDate(sqlite3_column_text(st, c), &dt))
                    worksheet_write_datetime(ws, row, c, &dt, date);
                else
                    worksheet_write_string(ws, row, c, (const char *)sqlite3_column_text(st, c), NULL);
            }
        }
        ++row;
    }
    worksheet_autofilter(ws, 2, 0, row - 1, NCOLS - 1);
    char formula[64];
    worksheet_write_string(ws, row, 0, "Total", total);
    snprintf(formula, sizeof formula, "=SUM(D4:D%u)", (unsigned)row);
    worksheet_write_formula_num(ws, row, 3, formula, total, sumQty);
    snprintf(formula, sizeof formula, "=SUM(E4:E%u)", (unsigned)row);
    worksheet_write_formula_num(ws, row, 4, formula, total, sumAmount);
    worksheet_freeze_panes(ws, 3, 0);

    sqlite3_finalize(st);
    sqlite3_close(db);
    return workbook_close(wb) == LXW_NO_ERROR ? 0 : 1;
}
