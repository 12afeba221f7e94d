#include "ImportRunInternal.h"

#include <QSet>

// ---- macros and references

// The macros a report uses, directly and through other macros; reference cycles end.
QList<int> ImportRun::IMP_GetAllReferences(int reportId) const
{
    const Package &p = *m_pkg;
    QList<int> result;
    QSet<int> inResult, visited;
    for (const Rec &ref : p.reportRefsBySource.value(reportId)) {
        const int direct = idOf(ref, "IdMacro");
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

void ImportRun::ImportMacros()
{
    const Package &p = *m_pkg;
    const bool forReports = m_opt.macros == ImportOptions::Choice::ForReports;
    try {
        macrosUsed.clear();
        QSet<int> chosen;
        const QList<int> source = forReports ? QList<int>() : m_opt.macroIds;
        for (int id : source)
            if (!chosen.contains(id)) {
                chosen.insert(id);
                macrosUsed << id;
            }
        if (forReports)
            for (int report : m_opt.reportIds)
                for (int id : IMP_GetAllReferences(report))
                    if (!chosen.contains(id)) {
                        chosen.insert(id);
                        macrosUsed << id;
                    }
        if (chosen.isEmpty())
            return;

        // After gathering, a failing row of macros for reports is skipped and the step goes on;
        // with picked macros the first failure ends the step.
        const auto attempt = [&](auto &&write) {
            try {
                write();
            } catch (const AppError &) {
                if (!forReports)
                    throw;
            }
        };

        QSet<int> categories;
        for (int id : chosen)
            if (p.macroCategOf.contains(id))
                categories.insert(p.macroCategOf.value(id));
        for (const Rec &c : p.macroCategories) {
            const int id = idOf(c, "IdCateg");
            if (!categories.contains(id) || macroCategMap.contains(id))
                continue;
            attempt([&] { macroCategMap.insert(id, add("ZAT_CategMacros", "IdCateg", {{u"Denumire"_s, txt(c, "Denumire")}})); });
        }
        for (const Rec &m : p.macros) {
            const int id = idOf(m, "IdMacro");
            if (!chosen.contains(id) || macroMap.contains(id))
                continue;
            attempt([&] {
                const int categ = idOf(m, "IdCateg");
                if (!macroCategMap.contains(categ))
                    throw packageError(QStringLiteral("The category %1 of macro %2 is not in the package.").arg(categ).arg(id));
                macroMap.insert(id, add("ZAT_Macros", "IdMacro",
                                        {{u"IdCateg"_s, macroCategMap.value(categ)}, {u"MacroName"_s, txt(m, "MacroName")},
                                         {u"Body"_s, txt(m, "Body")}}));
            });
        }

        // A reference is saved only with both ends translated; one whose other end was not
        // imported is left out.
        int leftOut = 0;
        for (const Rec &ref : p.macroRefs) {
            const int from = idOf(ref, "IdSource"), to = idOf(ref, "IdMacro");
            if (!chosen.contains(from) && !chosen.contains(to))
                continue;
            if (!macroMap.contains(from) || !macroMap.contains(to)) {
                ++leftOut;
                continue;
            }
            attempt([&] {
                add("ZAT_References", "IdReference",
                    {{u"IdSource"_s, macroMap.value(from)}, {u"IdMacro"_s, macroMap.value(to)}, {u"Tip"_s, "m"}});
            });
        }
        for (int report : m_opt.reportIds) {
            bool cleared = !m_opt.syncPairs.contains(report);
            for (const Rec &ref : p.reportRefsBySource.value(report)) {
                const int to = idOf(ref, "IdMacro");
                if (!chosen.contains(to))
                    continue;
                if (!macroMap.contains(to) || !reportMap.contains(report)) {
                    ++leftOut;
                    continue;
                }
                const int destReport = reportMap.value(report);
                if (!cleared) {
                    // A synchronised report's references are replaced, not piled up.
                    attempt([&] {
                        guarded([&] {
                            Sql::exec(m_db, QStringLiteral("Delete From ZAT_References Where Tip = 'r' And IdSource = %1").arg(destReport));
                            return 0;
                        });
                    });
                    cleared = true;
                }
                attempt([&] {
                    add("ZAT_References", "IdReference", {{u"IdSource"_s, destReport}, {u"IdMacro"_s, macroMap.value(to)}, {u"Tip"_s, "r"}});
                });
            }
        }
        if (leftOut > 0 && !forReports && m_warning)
            m_warning(AppError(ErrorNumber::Generic,
                               QStringLiteral("%1 macro reference(s) were left out: the macros at their other end were not selected.")
                                   .arg(leftOut)),
                      QStringLiteral("ImportMacros()"));
    } catch (const AppError &e) {
        if (m_warning)
            m_warning(e, QStringLiteral("ImportMacros()"));
    }
}
