#include "ImportRunInternal.h"
#include "RowBatches.h"

#include <QSet>
#include <QSqlQuery>

// ---- macros and references

// The macros a report uses, directly and through other macros; reference cycles end.
QList<int> ImportRun::IMP_GetAllReferences(int reportId) const
{
    const Package &p = *m_pkg;
    QList<int> result;
    QSet<int> inResult, visited;
    for (const int direct : p.reportMacros.value(reportId)) {
        if (!p.macroCategOf.contains(direct))
            continue;
        // What the macro uses comes before the macro itself.
        QList<int> stack{direct};
        while (!stack.isEmpty()) {
            const int id = stack.takeLast();
            if (visited.contains(id))
                continue;
            visited.insert(id);
            const auto found = p.macroUses.constFind(id);
            if (found == p.macroUses.constEnd())
                continue;
            const QList<int> &uses = *found;
            for (auto it = uses.crbegin(); it != uses.crend(); ++it)
                if (!visited.contains(*it))
                    stack << *it;
            for (int used : uses)
                if (!inResult.contains(used)) {
                    inResult.insert(used);
                    result << used;
                }
        }
        if (!inResult.contains(direct)) {
            inResult.insert(direct);
            result << direct;
        }
    }
    return result;
}

// The package macros the run brings, in the order it brings them.
QList<int> ImportRun::chooseMacros() const
{
    QList<int> used;
    QSet<int> chosen;
    const bool forReports = m_opt.macros == ImportOptions::Choice::ForReports;
    const auto take = [&](int id) {
        if (!chosen.contains(id)) {
            chosen.insert(id);
            used << id;
        }
    };
    if (!forReports)
        for (int id : m_opt.macroIds)
            take(id);
    else
        for (int report : m_opt.reportIds)
            for (int id : IMP_GetAllReferences(report))
                take(id);
    return used;
}

void ImportRun::ImportMacros()
{
    const Package &p = *m_pkg;
    const bool forReports = m_opt.macros == ImportOptions::Choice::ForReports;
    m_macroStep = true;
    m_skipFailedRows = forReports;
    m_context = QStringLiteral("Importing excel macros");
    struct StepEnd {
        ImportRun *run;
        ~StepEnd() { run->m_macroStep = run->m_skipFailedRows = false; }
    } stepEnd{this};
    try {
        macrosUsed = chooseMacros();
        const QSet<int> chosen(macrosUsed.cbegin(), macrosUsed.cend());
        // A macro that a synchronised report brings replaces the body of its namesake; other
        // namesakes are reused as they are.
        QSet<int> replacing;
        for (int report : std::as_const(m_synced))
            for (int id : IMP_GetAllReferences(report))
                if (chosen.contains(id))
                    replacing.insert(id);

        // After gathering, a failing row of macros for reports is skipped and the step goes on;
        // with picked macros the first failure ends the step.
        int failed = 0;
        QString firstFailure;
        const auto attempt = [&](auto &&write) {
            try {
                write();
            } catch (const AppError &e) {
                if (!forReports || transactionLost())
                    throw;
                if (failed++ == 0)
                    firstFailure = (m_table.isEmpty() ? QString() : m_table + QStringLiteral(": ")) + e.description;
            }
        };

        // Macro categories are unique by name, macros by category and name.
        QHash<QString, int> categoriesByName = guarded([&] { return firstIdByName(m_db, ImportLookup::macroCategories(), true); });
        QHash<int, QHash<QString, int>> macrosByCategory; // destination category -> name -> macro
        const auto macrosOf = [&](int categ) -> QHash<QString, int> & {
            auto it = macrosByCategory.find(categ);
            if (it == macrosByCategory.end()) {
                it = macrosByCategory.insert(categ, guarded([&] { return firstIdByName(m_db, ImportLookup::macros(categ), false); }));
            }
            return *it;
        };
        QHash<int, QString> packageCategoryNames;
        for (const Rec &c : p.macroCategories)
            if (!packageCategoryNames.contains(idOf(c, "IdCateg")))
                packageCategoryNames.insert(idOf(c, "IdCateg"), txt(c, "Denumire").toString());
        QHash<int, const Rec *> packageMacros;
        for (const Rec &m : p.macros)
            if (!packageMacros.contains(idOf(m, "IdMacro")))
                packageMacros.insert(idOf(m, "IdMacro"), &m);
        // The repository's namesake of a package macro that this run does not import; 0 = none.
        const auto namesake = [&](int packageMacro) {
            if (macroMap.contains(packageMacro))
                return macroMap.value(packageMacro);
            const Rec *m = packageMacros.value(packageMacro);
            const int categ = m ? categoriesByName.value(packageCategoryNames.value(idOf(*m, "IdCateg")), 0) : 0;
            return categ == 0 ? 0 : macrosOf(categ).value(txt(*m, "MacroName").toString(), 0);
        };

        QSet<int> categories;
        for (int id : std::as_const(chosen))
            if (p.macroCategOf.contains(id))
                categories.insert(p.macroCategOf.value(id));
        for (const Rec &c : p.macroCategories) {
            const int id = idOf(c, "IdCateg");
            if (!categories.contains(id) || macroCategMap.contains(id))
                continue;
            attempt([&] {
                const QString name = txt(c, "Denumire").toString();
                int dest = categoriesByName.value(name);
                if (dest == 0) {
                    dest = add("ZAT_CategMacros", "IdCateg", {{u"Denumire"_s, name}});
                    categoriesByName.insert(name, dest);
                    macrosByCategory.insert(dest, {});
                }
                macroCategMap.insert(id, dest);
            });
        }
        QSet<int> fresh, replaced; // destination macros added, and those whose body was replaced
        for (const Rec &m : p.macros) {
            const int id = idOf(m, "IdMacro");
            if (!chosen.contains(id) || macroMap.contains(id))
                continue;
            attempt([&] {
                const int categ = idOf(m, "IdCateg");
                if (!macroCategMap.contains(categ))
                    throw packageError(QStringLiteral("The category %1 of macro %2 is not in the package.").arg(categ).arg(id));
                const int destCateg = macroCategMap.value(categ);
                const QString name = txt(m, "MacroName").toString();
                int dest = macrosOf(destCateg).value(name);
                if (dest == 0) {
                    dest = add("ZAT_Macros", "IdMacro",
                               {{u"IdCateg"_s, destCateg}, {u"MacroName"_s, name}, {u"Body"_s, txt(m, "Body")}});
                    macrosOf(destCateg).insert(name, dest);
                    fresh.insert(dest);
                } else if (replacing.contains(id) && !replaced.contains(dest)) {
                    guarded([&] {
                        Sql::update(m_db, "ZAT_Macros", {{u"Body"_s, txt(m, "Body")}}, "IdMacro", dest);
                        return 0;
                    });
                    replaced.insert(dest);
                }
                macroMap.insert(id, dest);
            });
        }

        // A reference is saved only with both ends translated; one whose used macro is neither
        // imported nor already in the repository is left out.
        int leftOut = 0;
        QSet<QPair<int, int>> saved;
        for (const Rec &ref : p.macroRefs) {
            // A macro's references go with it; one the run does not bring keeps its own.
            const int from = idOf(ref, "IdSource"), to = idOf(ref, "IdMacro");
            if (!chosen.contains(from))
                continue;
            const int destFrom = namesake(from), destTo = namesake(to);
            if (destFrom == 0 || destTo == 0) {
                ++leftOut;
                continue;
            }
            const QPair<int, int> pair(destFrom, destTo);
            if (saved.contains(pair))
                continue;
            saved.insert(pair);
            // Between two macros the repository had, it may be there already.
            if (!fresh.contains(destFrom) && !fresh.contains(destTo)
                && guarded([&] {
                       return Sql::scalar(m_db, QStringLiteral("Select count(*) From ZAT_References Where Tip = 'm' "
                                                               "And IdSource = %1 And IdMacro = %2").arg(destFrom).arg(destTo)).toInt();
                   }) > 0)
                continue;
            attempt([&] { queue("ZAT_References", "IdReference", {{u"IdSource"_s, destFrom}, {u"IdMacro"_s, destTo}, {u"Tip"_s, "m"}}); });
        }
        // A replaced macro and a synchronised report end with the references of the new version:
        // those it dropped go, the ones it kept keep their rows.
        const auto dropOthers = [&](const QString &tip, int source, const QSet<int> &kept) {
            attempt([&] {
                guarded([&] {
                    QList<int> gone;
                    QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select IdReference, IdMacro From ZAT_References Where Tip = ? "
                                                                 "And IdSource = %1").arg(source), {tip});
                    while (q.next())
                        if (!kept.contains(q.value(1).toInt()))
                            gone << q.value(0).toInt();
                    if (!gone.isEmpty())
                        Sql::exec(m_db, QStringLiteral("Delete From ZAT_References Where IdReference ") + Sql::idList(gone));
                    return 0;
                });
            });
        };
        QHash<int, QSet<int>> usedBy;
        for (const QPair<int, int> &pair : std::as_const(saved))
            usedBy[pair.first].insert(pair.second);
        for (int dest : std::as_const(replaced))
            dropOthers(QStringLiteral("m"), dest, usedBy.value(dest));
        for (int report : m_opt.reportIds) {
            if (!reportMap.contains(report)) // a partner held by another user stays as it is
                continue;
            const int destReport = reportMap.value(report);
            const bool synced = m_synced.contains(report);
            QSet<int> existing;
            if (synced)
                guarded([&] {
                    QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select IdMacro From ZAT_References Where Tip = 'r' And IdSource = %1")
                                                      .arg(destReport));
                    while (q.next())
                        existing.insert(q.value(0).toInt());
                    return 0;
                });
            QSet<int> done;
            for (const int to : p.reportMacros.value(report)) {
                const int destMacro = chosen.contains(to) ? macroMap.value(to) : namesake(to);
                if (destMacro == 0) {
                    ++leftOut;
                    continue;
                }
                if (done.contains(destMacro))
                    continue;
                done.insert(destMacro);
                if (existing.contains(destMacro))
                    continue;
                attempt([&] {
                    queue("ZAT_References", "IdReference", {{u"IdSource"_s, destReport}, {u"IdMacro"_s, destMacro}, {u"Tip"_s, "r"}});
                });
            }
            if (synced)
                dropOthers(QStringLiteral("r"), destReport, done);
        }
        attempt([&] { flushRows(); });
        if (m_batches) { // queued rows that could not be stored were left out as they were written
            const RowBatches::Skipped late = m_batches->takeSkipped();
            if (failed == 0 && late.count > 0)
                firstFailure = late.first;
            failed += late.count;
        }
        // Nothing is left out silently: the caller learns how many rows and why.
        skippedRows += leftOut + failed;
        if (failed > 0 && m_warning)
            m_warning(AppError(ErrorNumber::Database,
                               QStringLiteral("%1 macro row(s) could not be stored and were left out; the first: %2")
                                   .arg(failed)
                                   .arg(firstFailure)),
                      QStringLiteral("ImportMacros()"));
        if (leftOut > 0 && m_warning)
            m_warning(AppError(ErrorNumber::Generic,
                               QStringLiteral("%1 macro reference(s) were left out: the macros at their other end were not %2.")
                                   .arg(leftOut)
                                   .arg(forReports ? QStringLiteral("in the package") : QStringLiteral("selected"))),
                      QStringLiteral("ImportMacros()"));
    } catch (const AppError &e) {
        if (transactionLost()) // going on would write outside the run's transaction
            throw;
        ++skippedRows;
        if (m_warning)
            m_warning(e, QStringLiteral("ImportMacros()"));
    }
}
