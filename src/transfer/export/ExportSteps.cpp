#include "ExportRun.h"

#include "ExportRows.h"
#include "repository/RepositorySession.h"

using namespace ExportRows;

// The ids in one column of a per-report table over the given reports, each once, first seen first.
static QList<int> idsOfReports(const QSqlDatabase &db, const QString &table, const QString &column,
                               const QList<int> &reports)
{
    QList<int> ids;
    QSet<int> seen;
    for (const QList<int> &chunk : chunks(reports)) {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select %1 From %2 Where IdReport %3 Group By %1")
                                        .arg(column, table, Sql::idList(chunk)));
        while (q.next()) {
            const int id = Sql::integer(q, column);
            if (!seen.contains(id)) {
                seen.insert(id);
                ids.append(id);
            }
        }
    }
    return ids;
}

// ---- macros

// IdSource -> the macros it uses through references of one kind, in reference order.
static QHash<int, QList<int>> referencesOf(const QSqlDatabase &db, const QString &tip, const QList<int> &sources)
{
    QHash<int, QList<int>> uses;
    for (const QList<int> &chunk : chunks(sources)) {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdSource, IdMacro From ZAT_References Where Tip = ? "
                                                   "And IdSource %1 Order By IdSource, IdReference")
                                        .arg(Sql::idList(chunk)),
                                {tip});
        while (q.next())
            uses[Sql::integer(q, "IdSource")].append(Sql::integer(q, "IdMacro"));
    }
    return uses;
}

// Loads the "m" references of every macro reachable from the given ones, one level per round.
static QHash<int, QList<int>> macroGraph(const QSqlDatabase &db, QList<int> frontier)
{
    QHash<int, QList<int>> graph;
    QSet<int> loaded;
    while (!frontier.isEmpty()) {
        QList<int> fresh;
        for (int m : std::as_const(frontier))
            if (!loaded.contains(m)) {
                loaded.insert(m);
                fresh.append(m);
            }
        const QHash<int, QList<int>> level = referencesOf(db, QStringLiteral("m"), fresh);
        frontier.clear();
        for (auto it = level.constBegin(); it != level.constEnd(); ++it) {
            graph.insert(it.key(), it.value());
            for (int used : it.value())
                if (!loaded.contains(used))
                    frontier.append(used);
        }
    }
    return graph;
}

// Depth-first, each macro once: a loop of references ends at the first macro seen again.
static void closure(int start, const QHash<int, QList<int>> &graph, QSet<int> &seen, QList<int> &out)
{
    QList<int> stack{start};
    while (!stack.isEmpty()) {
        const int m = stack.takeLast();
        if (seen.contains(m))
            continue;
        seen.insert(m);
        out.append(m);
        const QList<int> uses = graph.value(m);
        for (auto it = uses.crbegin(); it != uses.crend(); ++it)
            if (!seen.contains(*it))
                stack.append(*it);
    }
}

QList<int> MacroDependences(const QSqlDatabase &db, int start)
{
    QSet<int> seen;
    QList<int> out;
    closure(start, macroGraph(db, {start}), seen, out);
    return out;
}

QList<int> ReportMacroIds(const QSqlDatabase &db, const QList<int> &reportIds)
{
    const QHash<int, QList<int>> direct = referencesOf(db, QStringLiteral("r"), reportIds);
    QList<int> used;
    for (const QList<int> &l : direct)
        used += l;
    const QHash<int, QList<int>> graph = macroGraph(db, used);
    QSet<int> seen;
    QList<int> out;
    for (int reportId : reportIds)
        for (int m : direct.value(reportId))
            closure(m, graph, seen, out);
    return out;
}

QStringList GetReportMacros(const QSqlDatabase &db, int reportId)
{
    const QList<int> ids = ReportMacroIds(db, {reportId});
    QHash<int, QString> names;
    for (const QList<int> &chunk : chunks(ids)) {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdMacro, MacroName From ZAT_Macros Where IdMacro ")
                                        + Sql::idList(chunk));
        while (q.next())
            names.insert(Sql::integer(q, "IdMacro"), Sql::text(q, "MacroName"));
    }
    QStringList out;
    for (int id : ids)
        if (names.contains(id))
            out << QString::number(id) + IdNameSeparator + names.value(id);
    return out;
}

void ExportRun::exportMacros()
{
    // The run goes on whatever happens here; each failure is handed to the caller, and once the
    // macros are chosen a failing statement only loses its own rows.
    auto report = [this](const AppError &e) {
        m_stepFailed = true;
        if (onStepFailure)
            onStepFailure(e, QStringLiteral("ExportMacros()"));
    };
    auto attempt = [&](auto &&statement) {
        try {
            statement();
        } catch (const AppError &e) {
            report(e);
        }
    };

    QList<int> selection;
    try {
        if (m_options.macroMode == ExportOptions::MacroMode::ForReports) {
            selection = ReportMacroIds(m_repo, m_options.reportIds);
        } else {
            QSet<int> seen;
            for (int id : std::as_const(m_options.macroIds))
                if (!seen.contains(id)) {
                    seen.insert(id);
                    selection.append(id);
                }
        }
    } catch (const AppError &e) {
        report(e);
        return;
    }
    m_macroIds = selection;
    if (selection.isEmpty())
        return;

    QSet<int> categories, macros;
    for (const QList<int> &chunk : chunks(selection)) {
        attempt([&] {
            for (const Row &r :
                 rows(m_repo, QStringLiteral("Select * From ZAT_CategMacros Where IdCateg In "
                                             "(Select IdCateg From ZAT_Macros Where IdMacro %1)").arg(Sql::idList(chunk)))) {
                const int c = id(r, "IdCateg");
                if (categories.contains(c))
                    continue;
                attempt([&] {
                    m_writer->append("ZAT_CategMacros",
                                     {{"IdCateg", value(r, "IdCateg")}, {"Denumire", value(r, "Denumire")}});
                    categories.insert(c);
                });
            }
        });
    }
    for (const QList<int> &chunk : chunks(selection)) {
        attempt([&] {
            for (const Row &r :
                 rows(m_repo, QStringLiteral("Select * From ZAT_Macros Where IdMacro ") + Sql::idList(chunk)))
                attempt([&] {
                    m_writer->append("ZAT_Macros",
                                     {{"IdMacro", value(r, "IdMacro")}, {"IdCateg", value(r, "IdCateg")},
                                      {"MacroName", value(r, "MacroName")}, {"Body", value(r, "Body")}});
                    macros.insert(id(r, "IdMacro"));
                });
        });
    }

    // Only the references that stay in the package are copied: those of exported reports (also
    // to macros the package lacks), those between two exported macros, and any of another kind.
    auto copyReference = [&](const Row &r) {
        attempt([&] {
            m_writer->append("ZAT_References",
                             {{"IdReference", value(r, "IdReference")}, {"IdSource", value(r, "IdSource")},
                              {"IdMacro", value(r, "IdMacro")}, {"Tip", value(r, "Tip")}});
        });
    };
    const QList<int> reports(m_reports.cbegin(), m_reports.cend());
    const QString references = QStringLiteral("ZAT_References");
    for (const QList<int> &chunk : chunks(reports)) {
        if (m_setBased
            && bulkCopy(QStringLiteral("Insert Into main.ZAT_References (IdReference, IdSource, IdMacro, Tip) "
                                       "Select %1, %2, %3, %4 From velmora_src.ZAT_References s "
                                       "Where s.Tip = 'r' And s.IdSource %5")
                            .arg(sourceColumn(references, "IdReference", {}), sourceColumn(references, "IdSource", {}),
                                 sourceColumn(references, "IdMacro", {}), sourceColumn(references, "Tip", {}),
                                 Sql::idList(chunk))))
            continue;
        attempt([&] {
            for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_References Where Tip = 'r' "
                                                                    "And IdSource %1").arg(Sql::idList(chunk))))
                copyReference(r);
        });
    }
    const QList<int> written(macros.cbegin(), macros.cend());
    for (const QList<int> &chunk : chunks(written))
        attempt([&] {
            for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_References Where Tip = 'm' "
                                                                    "And IdSource %1").arg(Sql::idList(chunk))))
                if (macros.contains(id(r, "IdMacro")))
                    copyReference(r);
        });
    attempt([&] {
        for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_References "
                                                                "Where Tip Is Null Or Tip Not In ('r', 'm')")))
            copyReference(r);
    });
}

// ---- data sources

void ExportRun::exportDataSources()
{
    QList<int> selection;
    if (m_options.dataSourceMode == ExportOptions::DataSourceMode::ForReports) {
        selection = idsOfReports(m_repo, QStringLiteral("ZAT_ReportDS"), QStringLiteral("IdDataSource"), m_options.reportIds);
    } else {
        QSet<int> seen;
        for (int d : std::as_const(m_options.dataSourceIds))
            if (!seen.contains(d)) {
                seen.insert(d);
                selection.append(d);
            }
    }
    m_dataSourceIds = selection;
    if (selection.isEmpty())
        return;

    for (const QList<int> &chunk : chunks(selection)) {
        const QString in = Sql::idList(chunk);
        QHash<int, Row> sources;
        for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_DataSource Where IdDataSource ") + in))
            sources.insert(id(r, "IdDataSource"), r);
        QHash<int, QList<Row>> vars;
        QList<int> varIds;
        for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_Var Where IdDataSource %1 "
                                                                "Order By IdDataSource, IdVar").arg(in))) {
            vars[id(r, "IdDataSource")].append(r);
            varIds.append(id(r, "IdVar"));
        }
        // Dependency rows of every variable reachable from these, loaded a level at a time.
        QList<int> frontier = varIds;
        while (!frontier.isEmpty()) {
            QList<int> fresh;
            for (int v : std::as_const(frontier))
                if (!m_dependencesOf.contains(v)) {
                    m_dependencesOf.insert(v, {});
                    fresh.append(v);
                }
            frontier.clear();
            for (const QList<int> &part : chunks(fresh))
                for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_Dependences Where IdVar %1 "
                                                                        "Order By IdVar, ID").arg(Sql::idList(part)))) {
                    m_dependencesOf[id(r, "IdVar")].append(r);
                    if (!m_dependencesOf.contains(id(r, "Iddep")))
                        frontier.append(id(r, "Iddep"));
                }
        }

        for (int D : chunk) {
            if (const auto s = sources.constFind(D); s != sources.constEnd() && !m_dataSources.contains(D)) {
                m_writer->append("ZAT_DataSource",
                                 {{"IdDataSource", D},
                                  {"Name", text(s.value(), "Name")},
                                  {"DataSourceString", text(s.value(), "DataSourceString")},
                                  {"IsJet", number(s.value(), "IsJet")}});
                m_dataSources.insert(D);
            }
            for (const Row &v : vars.value(D)) {
                const int V = id(v, "IdVar");
                if (!m_vars.contains(V)) {
                    m_writer->append("ZAT_Var",
                                     {{"IdVar", V},
                                      {"Name", text(v, "Name")},
                                      {"Type", number(v, "Type")},
                                      {"Caption", text(v, "Caption")},
                                      {"DefaultValue", text(v, "DefaultValue")},
                                      {"LookupSQLString", text(v, "LookupSQLString")},
                                      {"IdDataSource", number(v, "IdDataSource")},
                                      {"SortNr", number(v, "SortNr")}});
                    m_vars.insert(V);
                }
                copyDependences(V);
            }
        }
    }
}

void ExportRun::copyDependences(int varId)
{
    // Depth-first as the rows come; a variable already walked is not entered again, which ends
    // chains that loop back on themselves.
    struct Frame {
        QList<Row> rows;
        int next = 0;
    };
    if (m_varsWalked.contains(varId))
        return;
    m_varsWalked.insert(varId);
    QList<Frame> stack{{m_dependencesOf.value(varId), 0}};
    while (!stack.isEmpty()) {
        Frame &top = stack.last();
        if (top.next >= top.rows.size()) {
            stack.removeLast();
            continue;
        }
        const Row r = top.rows[top.next++];
        const int rowId = id(r, "ID");
        if (!m_dependences.contains(rowId)) {
            m_writer->append("ZAT_Dependences",
                             {{"ID", value(r, "ID")}, {"IdVar", number(r, "IdVar")}, {"Iddep", number(r, "Iddep")}});
            m_dependences.insert(rowId);
        }
        const int dep = id(r, "Iddep");
        if (!m_varsWalked.contains(dep)) {
            m_varsWalked.insert(dep);
            stack.append({m_dependencesOf.value(dep), 0});
        }
    }
}

// ---- roles and users

QList<int> ExportRun::grantedRoleIds()
{
    if (!m_roleIdsRead) {
        m_roleIds = idsOfReports(m_repo, QStringLiteral("ZAT_Role_Report"), QStringLiteral("IdRole"), m_options.reportIds);
        m_roleIdsRead = true;
    }
    return m_roleIds;
}

void ExportRun::exportRoles()
{
    const QString grants = QStringLiteral("ZAT_Role_Report");
    for (const QList<int> &chunk : chunks(m_options.reportIds)) {
        // Each grant row is its own (ids are unique and the chunks share no report).
        if (m_setBased
            && bulkCopy(QStringLiteral("Insert Into main.ZAT_Role_Report (IdLeg, IdRole, IdReport) "
                                       "Select %1, %2, %3 From velmora_src.ZAT_Role_Report s Where s.IdReport %4")
                            .arg(sourceColumn(grants, "IdLeg", {}), sourceColumn(grants, "IdRole", QStringLiteral("0")),
                                 sourceColumn(grants, "IdReport", QStringLiteral("0")), Sql::idList(chunk))))
            continue;
        for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_Role_Report Where IdReport %1 "
                                                                "Order By IdLeg").arg(Sql::idList(chunk)))) {
            const int leg = id(r, "IdLeg");
            if (m_grants.contains(leg))
                continue;
            m_writer->append("ZAT_Role_Report",
                             {{"IdLeg", value(r, "IdLeg")}, {"IdRole", number(r, "IdRole")},
                              {"IdReport", number(r, "IdReport")}});
            m_grants.insert(leg);
        }
    }
    for (const QList<int> &chunk : chunks(grantedRoleIds()))
        for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_Role Where IdRole %1 Order By IdRole")
                                                     .arg(Sql::idList(chunk)))) {
            const int role = id(r, "IdRole");
            if (m_roles.contains(role))
                continue;
            m_writer->append("ZAT_Role", {{"IdRole", role}, {"Role", text(r, "Role")}});
            m_roles.insert(role);
        }
}

void ExportRun::exportUsers()
{
    for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_App Order By IdApp")))
        m_writer->append("ZAT_App", {{"IdApp", value(r, "IdApp")}, {"AppName", text(r, "AppName")}});
    for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_UserApp Order By IdUserApp")))
        m_writer->append("ZAT_UserApp",
                         {{"IdUserApp", value(r, "IdUserApp")},
                          {"IdApp", number(r, "IdApp")},
                          {"IdUser", number(r, "IdUser")},
                          {"User", text(r, "User")},
                          {"UserFName", text(r, "UserFName")},
                          {"UserLName", text(r, "UserLName")},
                          {"Password", text(r, "Password")}});
    for (const QList<int> &chunk : chunks(grantedRoleIds()))
        for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_UserApp_Role Where IdRole %1 "
                                                                "Order By IdLeg").arg(Sql::idList(chunk))))
            m_writer->append("ZAT_UserApp_Role",
                             {{"IdLeg", value(r, "IdLeg")}, {"IdUserApp", number(r, "IdUserApp")},
                              {"IdRole", number(r, "IdRole")}});
}
