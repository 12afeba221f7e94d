#include "ScriptedPrompter.h"
#include "TestDb.h"

#include "repository/AppError.h"
#include "macros/frmMacros.h"
#include "macros/frmReferences.h"
#include "repository/Sql.h"
#include "shell/AppState.h"
#include "shell/ItemData.h"
#include "shell/MacroFillers.h"
#include "shell/TextFile.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPointer>
#include <QScopeGuard>
#include <functional>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {

QStringList names(const QStringList &idNames)
{
    QStringList out;
    for (const QString &s : idNames)
        out << s.section(IdNameSeparator, 1);
    return out;
}

QStringList texts(const QTreeWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(0);
    return out;
}

QStringList ticked(const QTreeWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->checkState(0) == Qt::Checked)
            out << list->topLevelItem(i)->text(0);
    return out;
}

QTreeWidgetItem *itemNamed(QTreeWidget *list, const QString &text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

// References that point at a macro that is not there, or come from a macro that is not there.
int danglingReferences(const QSqlDatabase &db)
{
    return Sql::scalar(db, "Select Count(*) From ZAT_References r Where "
                           "Not Exists (Select 1 From ZAT_Macros m Where m.IdMacro = r.IdMacro) Or "
                           "(r.Tip = 'm' And Not Exists (Select 1 From ZAT_Macros m Where m.IdMacro = r.IdSource))")
        .toInt();
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Library: Formats (Bold, Money), Empty; frmReferences runs on App::session().
struct Seed {
    int formats, empty, bold, money;
};

Seed seedLibrary(RepositorySession &s)
{
    Seed d{};
    d.formats = s.SaveMacroCategory("Formats", 0);
    d.empty = s.SaveMacroCategory("Empty", 0);
    d.bold = s.SaveMacro("Bold", d.formats, 0);
    d.money = s.SaveMacro("Money", d.formats, 0);
    return d;
}

} // namespace

class TestMacros : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // ---- library operations, on both back-ends

    void namesAreChecked_data() { TestDb::addBackends(); }
    void namesAreChecked()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QString reason;
        const QString odd = QStringLiteral("O'Neil 100% \"fmt\" – ședință 日本");
        const int a = s.SaveMacroCategory(odd, 0, &reason);
        QVERIFY(a > 0);
        QVERIFY(reason.isEmpty());
        const int b = s.SaveMacroCategory("Second", 0);
        QVERIFY(b > 0 && b != a);
        QCOMPARE(s.GetMacroCategoryList(), QStringList({QString::number(a) + "#$#" + odd, QString::number(b) + "#$#Second"}));

        // Empty, blank and duplicate names (letter case and surrounding blanks do not count) are refused.
        QCOMPARE(s.SaveMacroCategory("", 0, &reason), 0);
        QCOMPARE(reason, QStringLiteral("The macro category name cannot be empty."));
        QCOMPARE(s.SaveMacroCategory("   ", 0), 0);
        QCOMPARE(s.SaveMacroCategory(" second ", 0, &reason), 0);
        QCOMPARE(reason, QStringLiteral("A macro category named 'second' already exists."));
        QCOMPARE(s.SaveMacroCategory("Second", a), 0);
        QCOMPARE(s.SaveMacroCategory("Renamed", 999999, &reason), 0);
        QCOMPARE(reason, QStringLiteral("The macro category no longer exists."));
        // A category may take another spelling of its own name.
        QCOMPARE(s.SaveMacroCategory("SECOND", b), b);
        QCOMPARE(s.GetMacroCategoryList().size(), 2);

        const int m = s.SaveMacro(odd, a, 0, &reason);
        QVERIFY(m > 0);
        QCOMPARE(s.GetMacroList(a), QStringList{QString::number(m) + "#$#" + odd});
        QCOMPARE(s.GetMacroBody(m), QString());
        QCOMPARE(s.SaveMacro(odd.toUpper(), a, 0, &reason), 0);
        QCOMPARE(reason, QStringLiteral("A macro named '") + odd.toUpper() + "' already exists in this category.");
        QCOMPARE(s.SaveMacro("x", 0, 0, &reason), 0); // a new macro needs a category
        QCOMPARE(s.SaveMacro("x", 999999, 0), 0);
        QCOMPARE(s.SaveMacro("", a, 0), 0);
        // The same name in another category is another macro.
        const int other = s.SaveMacro(odd, b, 0);
        QVERIFY(other > 0);
        // A rename with category 0 keeps the category; renaming onto a sibling's name is refused.
        const int sibling = s.SaveMacro("Sibling", a, 0);
        QCOMPARE(s.SaveMacro("Sibling", 0, m), 0);
        QCOMPARE(s.SaveMacro("Plain", 0, m), m);
        QCOMPARE(names(s.GetMacroList(a)), QStringList({"Plain", "Sibling"}));
        QCOMPARE(s.SaveMacro("Plain", 0, 999999, &reason), 0);
        QCOMPARE(reason, QStringLiteral("The macro no longer exists."));
        // Moving into a category that holds the name is refused too.
        QCOMPARE(s.SaveMacro(odd, b, sibling), 0);
        QCOMPARE(s.SaveMacro("Sibling", b, sibling), sibling);
        QCOMPARE(names(s.GetMacroList(b)), QStringList({odd, "Sibling"}));
        QCOMPARE(s.GetMacroList(0).size(), 3);
    }

    void bodiesRoundTrip_data() { TestDb::addBackends(); }
    void bodiesRoundTrip()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        const int cat = s.SaveMacroCategory("C", 0);
        const int id = s.SaveMacro("M", cat, 0);
        QString big;
        const QString line = QStringLiteral("Sub Ședință()\r\n\tMsgBox \"It's 100%\" ' €\r\n");
        while (big.size() < 4 * 1024 * 1024)
            big += line;
        const QStringList bodies{
            QStringLiteral("Sub A()\r\n\tRange(\"A1\").Value = 'x' & \"y\"\r\nEnd Sub\r\n"),
            QStringLiteral("mixed\nbreaks\r\nand\rlone CR, NBSP\u00a0, ☃ 日本 ăîșț"),
            QString(QLatin1String("")),
            big,
        };
        for (const QString &body : bodies) {
            QVERIFY(s.SaveMacroBody(id, body));
            const QString back = s.GetMacroBody(id);
            QCOMPARE(back.size(), body.size());
            QVERIFY(back == body);
        }
        QVERIFY(!s.SaveMacroBody(999999, "lost"));
        QCOMPARE(s.GetMacroBody(999999), QString());
    }

    void deletions_data() { TestDb::addBackends(); }
    void deletions()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const Seed d = seedLibrary(s);
        const int report = Sql::insert(db, "ZAT_Report", "IdReport", {{"Name", "R"}, {"IdCateg", 1}, {"IsDeleted", 0}});
        QVERIFY(s.SaveReferences(d.money, {d.bold}, "m"));
        QVERIFY(s.SaveReferences(d.bold, {d.money}, "m"));
        QVERIFY(s.SaveReferences(report, {d.bold, d.money}, "r"));

        QVERIFY(!s.DeleteMacroCategory(d.formats)); // still holds macros
        QCOMPARE(s.GetMacroCategoryList().size(), 2);
        QVERIFY(s.DeleteMacroCategory(d.empty));
        QVERIFY(s.DeleteMacroCategory(d.empty)); // already gone
        QCOMPARE(names(s.GetMacroCategoryList()), QStringList{"Formats"});

        // A deleted macro takes every reference to it and its own references along.
        QVERIFY(s.DeleteMacro(d.bold));
        QCOMPARE(names(s.GetMacroList(0)), QStringList{"Money"});
        QCOMPARE(danglingReferences(db), 0);
        QCOMPARE(s.GetReferencedMacros(d.money, "m"), QStringList());
        QCOMPARE(names(s.GetReferencedMacros(report, "r")), QStringList{"Money"});
        QCOMPARE(Sql::scalar(db, "Select Count(*) From ZAT_References").toInt(), 1);
    }

    void references_data() { TestDb::addBackends(); }
    void references()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const Seed d = seedLibrary(s);
        const int zeta = s.SaveMacro("Zeta", d.empty, 0);
        const int alpha = s.SaveMacro("Alpha", d.empty, 0);

        // Itself, unknown and repeated ids are left out; the list comes back by name.
        QVERIFY(s.SaveReferences(d.bold, {zeta, d.bold, 999999, alpha, zeta}, "m"));
        QCOMPARE(s.GetReferencedMacros(d.bold, "m"),
                 QStringList({QString::number(alpha) + "#$#Alpha", QString::number(zeta) + "#$#Zeta"}));
        // The set is replaced, not added to.
        QVERIFY(s.SaveReferences(d.bold, {d.money}, "m"));
        QCOMPARE(names(s.GetReferencedMacros(d.bold, "m")), QStringList{"Money"});
        // A report with the same id as a macro keeps its own references apart.
        Sql::insertRow(db, "ZAT_Report", {{"IdReport", d.bold}, {"Name", "R"}, {"IdCateg", 1}});
        QVERIFY(s.SaveReferences(d.bold, {d.bold, zeta}, "r")); // a report may use the macro with its id
        QCOMPARE(names(s.GetReferencedMacros(d.bold, "r")), QStringList({"Bold", "Zeta"}));
        QCOMPARE(names(s.GetReferencedMacros(d.bold, "m")), QStringList{"Money"});
        QVERIFY(s.SaveReferences(d.bold, {}, "m"));
        QCOMPARE(s.GetReferencedMacros(d.bold, "m"), QStringList());
        QCOMPARE(s.GetReferencedMacros(d.bold, "r").size(), 2);
        // Unknown sources and letters are refused without touching anything.
        QVERIFY(!s.SaveReferences(999999, {zeta}, "m"));
        QVERIFY(!s.SaveReferences(999999, {zeta}, "r"));
        QVERIFY(!s.SaveReferences(d.bold, {zeta}, "x"));
        QCOMPARE(Sql::scalar(db, "Select Count(*) From ZAT_References").toInt(), 2);
    }

    // ---- text files

    void textFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("Sub A()\r\n\tx = \"y\"\r\nEnd Sub") << QByteArray("Sub A()\r\n\tx = \"y\"\r\nEnd Sub");
        QTest::newRow("windows-1252 letters stay one byte")
            << QStringLiteral("caf\u00e9 \u20ac \u201equote\u201d") << QByteArray("caf\xe9 \x80 \x84quote\x94");
        QTest::newRow("beyond windows-1252 goes utf-8")
            << QStringLiteral("ședință \u20ac 日本") << (QByteArray("\xEF\xBB\xBF") + QStringLiteral("ședință \u20ac 日本").toUtf8());
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void textFiles()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const QString path = QDir(TestDb::tempDir()).filePath("roundtrip.txt");
        writeBytes(path, QByteArray(10000, 'x')); // a longer file is replaced whole
        TextFile::write(path, text);
        QCOMPARE(fileBytes(path), bytes);
        QCOMPARE(TextFile::read(path), text);
    }

    void readsOlderFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("windows-1252") << QByteArray("\x80 r\xe9sum\xe9\r\n\x93x\x94") << QStringLiteral("€ résumé\r\n“x”");
        QTest::newRow("utf-8 without mark") << QStringLiteral("résumé ș").toUtf8() << QStringLiteral("résumé ș");
        QTest::newRow("utf-16 with mark") << QByteArray("\xFF\xFEH\0i\0", 6) << QStringLiteral("Hi");
    }
    void readsOlderFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(TextFile::decode(bytes), text);
        QVERIFY_THROWS_EXCEPTION(AppError, TextFile::read(QDir(TestDb::tempDir()).filePath("missing.txt")));
    }

    // ---- the editor window (SQLite; the library tests above cover PostgreSQL)

    void emptyLibraryAndAllMacros()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        QSqlDatabase db = s.Connection();
        // Macros whose category is gone still show under "< All macros >".
        Sql::insert(db, "ZAT_Macros", "IdMacro", {{"IdCateg", 77}, {"MacroName", "B"}, {"Body", "body b"}});
        Sql::insert(db, "ZAT_Macros", "IdMacro", {{"IdCateg", 77}, {"MacroName", "A"}, {"Body", QVariant()}});
        QPointer<frmMacros> w = ShowMacroEditor();
        QVERIFY(w->isVisible());
        QCOMPARE(texts(w->lstCateg), QStringList{"< All macros >"});
        QCOMPARE(ItemData::key(w->lstCateg->currentItem()), QStringLiteral("k0"));
        QCOMPARE(texts(w->lstMacro), QStringList({"A", "B"}));
        QCOMPARE(w->windowTitle(), QStringLiteral("Macro [A]"));
        QVERIFY(w->cmdEditMacro->isEnabled());
        QVERIFY(!w->EditMode());
        QVERIFY(w->txtMacro->isReadOnly());
        QVERIFY(!w->cmdSaveMacro->isEnabled());
        w->lstMacro->setCurrentItem(itemNamed(w->lstMacro, "B"));
        QCOMPARE(w->txtMacro->toPlainText(), QStringLiteral("body b"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Macro [B]"));

        // "< All macros >" is neither renamed, deleted nor given a new macro.
        emit w->lstCateg->itemDoubleClicked(w->lstCateg->currentItem(), 0);
        QTest::keyClick(w->lstCateg, Qt::Key_Return);
        QTest::keyClick(w->lstCateg, Qt::Key_Delete);
        w->cmdDelCateg->click();
        w->cmdNewMacro->click();
        QCOMPARE(p.calls.size(), 0);
        QCOMPARE(texts(w->lstCateg), QStringList{"< All macros >"});

        // Every use makes another independent window.
        QPointer<frmMacros> second = ShowMacroEditor();
        QVERIFY(second != w);
        QVERIFY(w->isVisible() && second->isVisible());
        second->close();
        QTRY_VERIFY(second.isNull());
        w->close();
        QTRY_VERIFY(w.isNull());
    }

    void categoriesAndMacros()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const Seed d = seedLibrary(s);
        QPointer<frmMacros> w = ShowMacroEditor();
        QCOMPARE(texts(w->lstCateg), QStringList({"< All macros >", "Empty", "Formats"}));

        // A category without macros leaves edit mode and disables "&Edit".
        w->lstCateg->setCurrentItem(itemNamed(w->lstCateg, "Formats"));
        w->cmdEditMacro->click();
        QVERIFY(w->EditMode());
        QVERIFY(!w->txtMacro->isReadOnly());
        for (QPushButton *b : {w->cmdDelete, w->cmdExportMacro, w->cmdImportMacro, w->cmdSaveMacro, w->cmdReferences})
            QVERIFY(b->isEnabled());
        w->lstCateg->setCurrentItem(itemNamed(w->lstCateg, "Empty"));
        QCOMPARE(w->lstMacro->topLevelItemCount(), 0);
        QVERIFY(!w->EditMode());
        QVERIFY(!w->cmdEditMacro->isEnabled());
        QVERIFY(w->txtMacro->isReadOnly());
        QVERIFY(!w->cmdSaveMacro->isEnabled() && !w->cmdReferences->isEnabled());

        // A new macro opens in edit mode with an empty body.
        p.inputs.enqueue("Fresh");
        w->cmdNewMacro->click();
        QCOMPARE(p.last().kind, QStringLiteral("input"));
        QCOMPARE(p.last().text, QStringLiteral("Enter macro name :"));
        QCOMPARE(p.last().title, QStringLiteral("Velmora"));
        QCOMPARE(w->lstMacro->currentItem()->text(0), QStringLiteral("Fresh"));
        QVERIFY(w->EditMode());
        QVERIFY(w->cmdEditMacro->isEnabled());
        QCOMPARE(w->txtMacro->toPlainText(), QString());
        QCOMPARE(w->windowTitle(), QStringLiteral("Macro [Fresh]"));
        QCOMPARE(names(s.GetMacroList(d.empty)), QStringList{"Fresh"});
        // A refused name is explained by the library and adds nothing.
        p.inputs.enqueue("fresh");
        w->cmdNewMacro->click();
        QCOMPARE(p.last().text, QStringLiteral("A macro named 'fresh' already exists in this category."));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(w->lstMacro->topLevelItemCount(), 1);
        // Cancel or an empty answer stops.
        p.clear();
        p.inputs.enqueue(QString());
        w->cmdNewMacro->click();
        p.inputs.enqueue(QStringLiteral(""));
        w->cmdNewCateg->click();
        QCOMPARE(p.messages(), QStringList());
        QCOMPARE(s.GetMacroList(0).size(), 3);

        // New category: added, chosen, empty.
        p.inputs.enqueue("New one");
        w->cmdNewCateg->click();
        QCOMPARE(p.calls.last().text, QStringLiteral("Enter category name :"));
        QCOMPARE(w->lstCateg->currentItem()->text(0), QStringLiteral("New one"));
        QCOMPARE(w->lstMacro->topLevelItemCount(), 0);
        QVERIFY(!w->cmdEditMacro->isEnabled());

        // Renaming by Enter and by double-click, with the current name offered.
        p.inputs.enqueue("Renamed");
        QTest::keyClick(w->lstCateg, Qt::Key_Return);
        QCOMPARE(p.last().text, QStringLiteral("Modify category name :"));
        QCOMPARE(p.last().defaultText, QStringLiteral("New one"));
        QCOMPARE(w->lstCateg->currentItem()->text(0), QStringLiteral("Renamed"));
        QVERIFY(names(s.GetMacroCategoryList()).contains("Renamed"));
        w->lstCateg->setCurrentItem(itemNamed(w->lstCateg, "Formats"));
        p.inputs.enqueue("Bolder");
        emit w->lstMacro->itemDoubleClicked(w->lstMacro->currentItem(), 0);
        QCOMPARE(p.last().text, QStringLiteral("Modify macro name :"));
        QCOMPARE(p.last().defaultText, QStringLiteral("Bold"));
        QCOMPARE(names(s.GetMacroList(d.formats)), QStringList({"Bolder", "Money"}));

        // Deleting a category that holds macros: confirmation, then the refusal; nothing changes.
        p.clear();
        w->cmdDelCateg->click();
        QCOMPARE(p.messages(), QStringList({"Are you sure you want to delete category 'Formats'?",
                                            "Cannot delete category 'Formats' because contains macros!"}));
        QCOMPARE(p.calls[0].buttons, Prompter::Buttons::YesNo);
        QCOMPARE(p.calls[0].icon, Prompter::Icon::Question);
        QCOMPARE(p.calls[1].icon, Prompter::Icon::Exclamation);
        QCOMPARE(p.calls[1].title, QStringLiteral("Velmora"));
        QCOMPARE(s.GetMacroCategoryList().size(), 3);
        // Answering No stops at once.
        p.clear();
        p.answers.enqueue(Prompter::Answer::No);
        w->lstCateg->setCurrentItem(itemNamed(w->lstCateg, "Renamed"));
        QTest::keyClick(w->lstCateg, Qt::Key_Delete);
        QCOMPARE(p.messages().size(), 1);
        QCOMPARE(s.GetMacroCategoryList().size(), 3);
        // An empty category goes; the list starts again at "< All macros >".
        w->cmdDelCateg->click();
        QCOMPARE(texts(w->lstCateg), QStringList({"< All macros >", "Empty", "Formats"}));
        QCOMPARE(w->lstCateg->currentItem()->text(0), QStringLiteral("< All macros >"));
        QCOMPARE(w->lstMacro->topLevelItemCount(), 3);

        // Deleting a macro.
        p.clear();
        w->lstMacro->setCurrentItem(itemNamed(w->lstMacro, "Money"));
        QTest::keyClick(w->lstMacro, Qt::Key_Delete);
        QCOMPARE(p.messages(), QStringList{"Are you sure you want to delete macro 'Money'?"});
        QCOMPARE(texts(w->lstMacro), QStringList({"Bolder", "Fresh"}));
        w->close();
    }

    void bodyEditing()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const Seed d = seedLibrary(s);
        const QString body = QStringLiteral("Sub B()\r\n\tx = \"'\"\u00a0\r\nEnd Sub");
        s.SaveMacroBody(d.bold, body);
        s.SaveMacroBody(d.money, "mixed\nand\r\nlines");
        QPointer<frmMacros> w = ShowMacroEditor();
        w->lstCateg->setCurrentItem(itemNamed(w->lstCateg, "Formats"));
        QCOMPARE(w->lstMacro->currentItem()->text(0), QStringLiteral("Bold"));
        w->cmdEditMacro->click();

        // Untouched text goes back exactly; edited text keeps its CR/LF, tabs and other characters.
        w->cmdSaveMacro->click();
        QCOMPARE(s.GetMacroBody(d.bold), body);
        QTextCursor c(w->txtMacro->document());
        c.movePosition(QTextCursor::End);
        c.insertText("\n' ș");
        w->cmdSaveMacro->click();
        QCOMPARE(s.GetMacroBody(d.bold), body + QStringLiteral("\r\n' ș"));
        QCOMPARE(p.calls.size(), 0);
        // Another macro shows its own text, and the edit mode stays.
        w->lstMacro->setCurrentItem(itemNamed(w->lstMacro, "Money"));
        QVERIFY(w->EditMode());
        w->cmdSaveMacro->click();
        QCOMPARE(s.GetMacroBody(d.money), QStringLiteral("mixed\nand\r\nlines"));

        // Export over an existing file replaces it.
        w->lstMacro->setCurrentItem(itemNamed(w->lstMacro, "Bold"));
        const QString path = QDir(TestDb::tempDir()).filePath("export.txt");
        writeBytes(path, QByteArray(5000, 'z'));
        p.files.enqueue(path);
        w->cmdExportMacro->click();
        QCOMPARE(p.last().kind, QStringLiteral("save"));
        QCOMPARE(p.last().title, QStringLiteral("Export file"));
        QCOMPARE(TextFile::read(path), s.GetMacroBody(d.bold));
        // A cancelled dialog shows nothing.
        p.clear();
        w->cmdExportMacro->click();
        w->cmdImportMacro->click();
        QCOMPARE(p.messages(), QStringList());

        // Import shows a Windows-1252 file's text without storing it; "&Save" stores it as read.
        writeBytes(path, QByteArray("' \x80 r\xe9sum\xe9\r\nSub X()"));
        p.files.enqueue(path);
        w->cmdImportMacro->click();
        QCOMPARE(w->txtMacro->toPlainText(), QStringLiteral("' € résumé\nSub X()"));
        QCOMPARE(s.GetMacroBody(d.bold), body + QStringLiteral("\r\n' ș"));
        w->cmdSaveMacro->click();
        QCOMPARE(s.GetMacroBody(d.bold), QStringLiteral("' € résumé\r\nSub X()"));

        // A file that cannot be written is reported, not passed over.
        p.files.enqueue(QDir(TestDb::tempDir()).filePath("no/such/folder/x.txt"));
        w->cmdExportMacro->click();
        QCOMPARE(p.last().icon, Prompter::Icon::Critical);
        QVERIFY(p.last().text.endsWith("Origin : cmdExportMacro_Click()"));

        // Saving a macro that another window deleted says so instead of dropping the text.
        s.DeleteMacro(d.bold);
        w->cmdSaveMacro->click();
        QCOMPARE(p.last().text, QStringLiteral("The macro 'Bold' no longer exists; its text was not saved."));
        w->close();
    }

    void referencesDialog()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const Seed d = seedLibrary(s);
        const int alpha = s.SaveMacro("Alpha", d.empty, 0);
        const int zeta = s.SaveMacro("Zeta", d.empty, 0);
        s.SaveReferences(d.bold, {zeta}, "m");
        QPointer<frmMacros> w = ShowMacroEditor();
        w->lstCateg->setCurrentItem(itemNamed(w->lstCateg, "Formats"));
        QCOMPARE(texts(w->lstRefMacro), QStringList{"Zeta"});
        w->cmdEditMacro->click();

        auto runDialog = [&](const std::function<void(frmReferences *)> &act) {
            bool done = false;
            QTimer::singleShot(0, [&] {
                auto *dlg = qobject_cast<frmReferences *>(QApplication::activeModalWidget());
                QVERIFY(dlg);
                // A failed check must not leave the modal dialog waiting for ever.
                const auto closer = qScopeGuard([dlg] {
                    if (dlg->isVisible())
                        dlg->reject();
                });
                act(dlg);
                done = true;
            });
            w->cmdReferences->click();
            QTRY_VERIFY(done);
        };
        auto chooseCategory = [](frmReferences *dlg, const QString &name) {
            dlg->cmbCateg->setCurrentIndex(dlg->cmbCateg->findText(name));
        };

        // Ticks survive category switches and are saved together; unticking removes a reference.
        runDialog([&](frmReferences *dlg) {
            QCOMPARE(dlg->windowTitle(), QStringLiteral("References"));
            QVERIFY(dlg->cmdEdit->isHidden());
            QCOMPARE(dlg->cmbCateg->currentText(), QStringLiteral("< All macros >"));
            QCOMPARE(texts(dlg->lstMacro), QStringList({"Alpha", "Bold", "Money", "Zeta"}));
            QCOMPARE(ticked(dlg->lstMacro), QStringList{"Zeta"});
            chooseCategory(dlg, "Empty");
            itemNamed(dlg->lstMacro, "Alpha")->setCheckState(0, Qt::Checked);
            itemNamed(dlg->lstMacro, "Zeta")->setCheckState(0, Qt::Unchecked);
            chooseCategory(dlg, "Formats");
            QCOMPARE(ticked(dlg->lstMacro), QStringList());
            itemNamed(dlg->lstMacro, "Money")->setCheckState(0, Qt::Checked);
            chooseCategory(dlg, "Empty");
            QCOMPARE(ticked(dlg->lstMacro), QStringList{"Alpha"});
            chooseCategory(dlg, "< All macros >");
            QCOMPARE(ticked(dlg->lstMacro), QStringList({"Alpha", "Money"}));
            dlg->cmdOK->click();
        });
        QCOMPARE(names(s.GetReferencedMacros(d.bold, "m")), QStringList({"Alpha", "Money"}));
        QCOMPARE(texts(w->lstRefMacro), QStringList({"Alpha", "Money"}));

        // Cancel changes neither the repository nor the list.
        runDialog([&](frmReferences *dlg) {
            itemNamed(dlg->lstMacro, "Alpha")->setCheckState(0, Qt::Unchecked);
            itemNamed(dlg->lstMacro, "Zeta")->setCheckState(0, Qt::Checked);
            dlg->cmdCancel->click();
        });
        QCOMPARE(names(s.GetReferencedMacros(d.bold, "m")), QStringList({"Alpha", "Money"}));
        QCOMPARE(texts(w->lstRefMacro), QStringList({"Alpha", "Money"}));

        // Ticking the macro itself is accepted by the dialog and left out by the library.
        runDialog([&](frmReferences *dlg) {
            itemNamed(dlg->lstMacro, "Bold")->setCheckState(0, Qt::Checked);
            itemNamed(dlg->lstMacro, "Money")->setCheckState(0, Qt::Unchecked);
            dlg->cmdOK->click();
        });
        QCOMPARE(texts(w->lstRefMacro), QStringList{"Alpha"});

        // Saving with nothing ticked leaves no references.
        runDialog([&](frmReferences *dlg) {
            itemNamed(dlg->lstMacro, "Alpha")->setCheckState(0, Qt::Unchecked);
            dlg->cmdOK->click();
        });
        QCOMPARE(s.GetReferencedMacros(d.bold, "m"), QStringList());
        QCOMPARE(w->lstRefMacro->topLevelItemCount(), 0);
        QCOMPARE(p.calls.size(), 0);

        // Another window deleted the macro meanwhile: the choice cannot be kept, and the user hears so.
        s.DeleteMacro(d.bold);
        runDialog([&](frmReferences *dlg) {
            itemNamed(dlg->lstMacro, "Alpha")->setCheckState(0, Qt::Checked);
            dlg->cmdOK->click();
        });
        QCOMPARE(p.messages(), QStringList{"The macro 'Bold' no longer exists; its references were not saved."});
        QCOMPARE(danglingReferences(s.Connection()), 0);
        QCOMPARE(s.GetReferencedMacros(alpha, "m"), QStringList());
        w->close();
    }

    void referencesOfReport()
    {
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const Seed d = seedLibrary(s);
        const int report = Sql::insert(s.Connection(), "ZAT_Report", "IdReport", {{"Name", "R"}, {"IdCateg", 1}});
        s.SaveReferences(report, {d.money}, "r");
        bool done = false;
        QTimer::singleShot(0, [&] {
            auto *dlg = qobject_cast<frmReferences *>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            const auto closer = qScopeGuard([dlg] {
                if (dlg->isVisible())
                    dlg->reject();
            });
            QCOMPARE(ticked(dlg->lstMacro), QStringList{"Money"});
            itemNamed(dlg->lstMacro, "Bold")->setCheckState(0, Qt::Checked);
            dlg->cmdOK->click();
            done = true;
        });
        QCOMPARE(frmReferences::EditReferences(report, "r"), frmReferences::Outcome::Saved);
        QTRY_VERIFY(done);
        QCOMPARE(names(s.GetReferencedMacros(report, "r")), QStringList({"Bold", "Money"}));
        QCOMPARE(s.GetReferencedMacros(report, "m"), QStringList());
    }

    // ---- what an administrator does with the window

    void exportedMacroImportsUnchanged()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const Seed d = seedLibrary(s);
        // Windows-1252 bytes of this text (c3 a9) would read back as UTF-8 "é".
        const QString body = QStringLiteral("s = \"\u00c3\u00a9tude\"");
        s.SaveMacroBody(d.bold, body);
        QPointer<frmMacros> w = ShowMacroEditor();
        w->lstCateg->setCurrentItem(itemNamed(w->lstCateg, "Formats"));
        QTest::mouseClick(w->cmdEditMacro, Qt::LeftButton);
        const QString path = QDir(TestDb::tempDir()).filePath("etude.txt");
        p.files.enqueue(path);
        QTest::mouseClick(w->cmdExportMacro, Qt::LeftButton);
        QCOMPARE(p.last().defaultText, QStringLiteral("txt")); // a name typed without extension gets ".txt"
        p.files.enqueue(path);
        QTest::mouseClick(w->cmdImportMacro, Qt::LeftButton);
        QCOMPARE(w->txtMacro->toPlainText(), body);
        QCOMPARE(TextFile::read(path), body);
        QVERIFY(TextFile::encode(body).startsWith("\xEF\xBB\xBF"));
        QCOMPARE(TextFile::encode(QStringLiteral("caf\u00e9")), QByteArray("caf\xe9")); // still one byte where it reads back
        w->close();
    }

    void namesHoldingTheSeparator()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const int categ = s.SaveMacroCategory("Fmt#$#2024", 0);
        const int macro = s.SaveMacro("Total#$#net#$#", categ, 0);
        QVERIFY(categ > 0 && macro > 0);
        QPointer<frmMacros> w = ShowMacroEditor();
        QCOMPARE(texts(w->lstCateg), (QStringList{"< All macros >", "Fmt#$#2024"}));
        QCOMPARE(ItemData::tag(w->lstCateg->topLevelItem(1)).toInt(), categ);
        QCOMPARE(texts(w->lstMacro), QStringList{"Total#$#net#$#"});
        QCOMPARE(ItemData::key(w->lstMacro->topLevelItem(0)), QStringLiteral("k%1").arg(macro));
        QCOMPARE(w->windowTitle(), QStringLiteral("Macro [Total#$#net#$#]"));
        QComboBox combo;
        FillMacroCategories(&combo);
        QCOMPARE(combo.itemText(1), QStringLiteral("Fmt#$#2024"));
        QCOMPARE(combo.itemData(1, ItemData::TagRole).toInt(), categ);
        // The references list too.
        const int other = s.SaveMacro("Uses#$#it", categ, 0);
        QVERIFY(s.SaveReferences(other, {macro}, "m"));
        w->lstCateg->setCurrentItem(itemNamed(w->lstCateg, "Fmt#$#2024"));
        QTest::mouseClick(w->lstMacro->viewport(), Qt::LeftButton, {},
                          w->lstMacro->visualItemRect(itemNamed(w->lstMacro, "Uses#$#it")).center());
        QCOMPARE(texts(w->lstRefMacro), QStringList{"Total#$#net#$#"});
        w->close();
    }

    void leavingAnEditedBodyAsks()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const Seed d = seedLibrary(s);
        s.SaveMacroBody(d.bold, "bold");
        s.SaveMacroBody(d.money, "money");
        QPointer<frmMacros> w = ShowMacroEditor();
        w->show();
        auto clickMacro = [&](const QString &name) {
            QTest::mouseClick(w->lstMacro->viewport(), Qt::LeftButton, {}, w->lstMacro->visualItemRect(itemNamed(w->lstMacro, name)).center());
        };
        QTest::mouseClick(w->lstCateg->viewport(), Qt::LeftButton, {},
                          w->lstCateg->visualItemRect(itemNamed(w->lstCateg, "Formats")).center());
        QCOMPARE(w->lstMacro->currentItem()->text(0), QStringLiteral("Bold"));
        QTest::mouseClick(w->cmdEditMacro, Qt::LeftButton);
        // Unchanged: nothing asked.
        clickMacro("Money");
        clickMacro("Bold");
        QVERIFY(p.calls.isEmpty());

        const QString question = QStringLiteral("The text of macro 'Bold' was changed.\rDo you want to save the changes?");
        QTest::keyClicks(w->txtMacro, "X");
        QCOMPARE(w->txtMacro->toPlainText(), QStringLiteral("Xbold"));
        p.answers.enqueue(Prompter::Answer::Cancel);
        clickMacro("Money");
        QCOMPARE(p.messages(), QStringList{question});
        QCOMPARE(p.last().buttons, Prompter::Buttons::YesNoCancel);
        QCOMPARE(w->lstMacro->currentItem()->text(0), QStringLiteral("Bold"));
        QCOMPARE(w->txtMacro->toPlainText(), QStringLiteral("Xbold"));

        p.answers.enqueue(Prompter::Answer::No);
        clickMacro("Money");
        QCOMPARE(w->txtMacro->toPlainText(), QStringLiteral("money"));
        QCOMPARE(s.GetMacroBody(d.bold), QStringLiteral("bold"));

        QTest::keyClicks(w->txtMacro, "Y");
        p.answers.enqueue(Prompter::Answer::Yes);
        QTest::mouseClick(w->lstCateg->viewport(), Qt::LeftButton, {},
                          w->lstCateg->visualItemRect(itemNamed(w->lstCateg, "Empty")).center());
        QCOMPARE(s.GetMacroBody(d.money), QStringLiteral("Ymoney"));
        // A category without macros: no macro named in the caption any more.
        QCOMPARE(w->windowTitle(), QStringLiteral("  Macro editor"));

        // An imported text is unsaved too; closing asks, Cancel keeps the window.
        w->lstCateg->setCurrentItem(itemNamed(w->lstCateg, "Formats"));
        QTest::mouseClick(w->cmdEditMacro, Qt::LeftButton);
        const QString path = QDir(TestDb::tempDir()).filePath("imported.txt");
        writeBytes(path, "imported");
        p.files.enqueue(path);
        p.clear();
        QTest::mouseClick(w->cmdImportMacro, Qt::LeftButton);
        p.answers.enqueue(Prompter::Answer::Cancel);
        QVERIFY(!w->close());
        QCOMPARE(p.messages(), QStringList{question});
        QVERIFY(w->isVisible());
        p.answers.enqueue(Prompter::Answer::Yes);
        w->close();
        QTRY_VERIFY(w.isNull());
        QCOMPARE(s.GetMacroBody(d.bold), QStringLiteral("imported"));
    }

    void deleteButtonsTellApart()
    {
        TestDb::freshAppSession("sqlite");
        QPointer<frmMacros> w = ShowMacroEditor();
        const QImage categ = w->cmdDelCateg->icon().pixmap(16, 16).toImage();
        const QImage macro = w->cmdDelMacro->icon().pixmap(16, 16).toImage();
        QVERIFY(!categ.isNull() && !macro.isNull());
        QVERIFY(categ != macro);
        QVERIFY(w->cmdDelCateg->toolTip() != w->cmdDelMacro->toolTip());
        w->close();
    }
};

QTEST_MAIN(TestMacros)
#include "test_macros.moc"
