#include "ImportPlan.h"
#include "ImportRunInternal.h"

#include "repository/PackageFile.h"
#include "repository/Schema.h"

#include <QAtomicInt>
#include <QSet>

// The plan walks the steps of a run in their order with the run's own lookups (partners,
// check-outs, names the repository holds), and writes nothing: what the run would add is
// remembered by name so that a second package row of the same name is reused, as in the run.

namespace {
QAtomicInt planConnectionCounter;

ImportPlan::Item item(int packageId, const QString &name, int existing)
{
    return {packageId, name, existing ? QStringLiteral("reuse") : QStringLiteral("add"), existing > 0 ? existing : 0, {}};
}

// A name the plan has the run add: later rows of that name are reused, with no id yet.
constexpr int Planned = -1;
}

int ImportPlan::count(const QString &action) const
{
    int n = 0;
    for (const Report &r : reports)
        n += r.action == action;
    return n;
}

ImportPlan PlanImport(const QSqlDatabase &destination, const ImportOptions &options)
{
    return ImportRun(destination, options).plan();
}

ImportPlan ImportRun::plan()
{
    const QString connection = QStringLiteral("velmora-plan-%1").arg(planConnectionCounter.fetchAndAddRelaxed(1));
    ImportPlan result;
    {
        QSqlDatabase package;
        try {
            package = PackageFile::openForReading(m_opt.packagePath, QString::fromLatin1(Schema::PackagePassword), connection);
            result = plan(package);
        } catch (const AppError &e) {
            result.problems << e.description;
        }
    }
    PackageFile::close(connection);
    return result;
}

ImportPlan ImportRun::plan(const QSqlDatabase &package)
{
    if (!m_db.isOpen())
        throw AppError(ErrorNumber::NotConnected, QStringLiteral("The repository is not connected."));
    ImportPlan plan;
    try {
        PackageFile::checkValues(package, m_postgres);
        loadPackage(package);
        m_package = QSqlDatabase(); // the plan reads no report rows
    } catch (const AppError &e) {
        m_package = QSqlDatabase();
        plan.problems << e.description;
        return plan;
    }
    chooseDataSources();
    for (const AppError &e : findProblems())
        plan.problems << e.description;

    // Data sources and their variables.
    const Package &p = *m_pkg;
    QHash<QString, int> sources = firstIdByName(m_db, ImportLookup::dataSources(), true);
    QSet<int> planned, plannedVars;
    for (int ds : std::as_const(dataSourcesUsed)) {
        if (!p.dataSources.contains(ds) || planned.contains(ds))
            continue;
        planned.insert(ds);
        const QString name = txt(p.dataSources[ds], "Name").toString();
        const int existing = sources.value(name);
        ImportPlan::Item source = item(ds, name, existing);
        if (existing > 0)
            source.note = QStringLiteral("its connection string is kept");
        plan.dataSources << source;
        if (existing == 0)
            sources.insert(name, Planned);
        // Only a data source the repository had is searched for its variables, as in the run.
        QHash<QString, int> vars = existing > 0 ? firstIdByName(m_db, ImportLookup::variables(existing), false)
                                                : QHash<QString, int>();
        for (const Rec &v : p.vars.value(ds)) {
            if (plannedVars.contains(idOf(v, "IdVar")))
                continue;
            plannedVars.insert(idOf(v, "IdVar"));
            const QString varName = txt(v, "Name").toString();
            plan.variables << item(idOf(v, "IdVar"), varName, vars.value(varName));
            if (!vars.contains(varName))
                vars.insert(varName, Planned);
        }
    }

    planReports(plan);
    planMacros(plan);
    planSecurity(plan);
    return plan;
}

void ImportRun::planReports(ImportPlan &plan)
{
    const Package &p = *m_pkg;
    QSet<int> imported;
    for (int ds : std::as_const(dataSourcesUsed))
        if (p.dataSources.contains(ds))
            imported.insert(ds);
    for (int id : std::as_const(m_opt.reportIds)) {
        ImportPlan::Report r;
        r.packageId = id;
        if (!p.reports.contains(id)) {
            r.action = QStringLiteral("refused");
            r.reason = QStringLiteral("The package holds no report with id %1.").arg(id);
            plan.reports << r;
            continue;
        }
        const ReportHead &head = p.reports[id];
        r.name = head.name;
        const int partner = partnerOf(id);
        if (partner != 0) {
            r.destinationId = partner;
            const Holder h = checkOutHolder(partner);
            if (heldByOtherUser(h)) {
                r.action = QStringLiteral("refused");
                r.reason = QStringLiteral("The report '%1' (%2) is checked out by %3 and is left unchanged.")
                               .arg(h.report)
                               .arg(partner)
                               .arg(h.who);
                r.warnings << QStringLiteral("partner checked out by %1").arg(h.who);
            } else {
                r.action = QStringLiteral("overwrite");
            }
        } else {
            r.action = QStringLiteral("add");
            r.destinationCategory = m_opt.idCategDest;
            if (m_opt.folders) {
                QStringList path;
                QSet<int> seen;
                for (int c = head.category; c > 2 && p.categories.contains(c) && !seen.contains(c);
                     c = idOf(p.categories[c], "IdParent")) {
                    seen.insert(c);
                    path.prepend(txt(p.categories[c], "Name").toString());
                }
                r.folder = path.join(QLatin1Char('/'));
            }
            // A new report reads the data source of its first link; a synchronised one keeps its own.
            if (head.linkDataSources.isEmpty() || !imported.contains(head.linkDataSources.first()))
                r.warnings << QStringLiteral("no data source: the report will not run");
        }
        plan.reports << r;
    }
}

void ImportRun::planMacros(ImportPlan &plan)
{
    const Package &p = *m_pkg;
    const QList<int> used = chooseMacros();
    const QSet<int> chosen(used.cbegin(), used.cend());
    QHash<QString, int> categories = firstIdByName(m_db, ImportLookup::macroCategories(), true);
    QHash<int, QHash<QString, int>> macrosByCategory;
    const auto macrosOf = [&](int categ) -> QHash<QString, int> & {
        auto it = macrosByCategory.find(categ);
        if (it == macrosByCategory.end())
            it = macrosByCategory.insert(categ, categ > 0 ? firstIdByName(m_db, ImportLookup::macros(categ), false)
                                                          : QHash<QString, int>());
        return *it;
    };
    QHash<int, QString> categoryNames;
    for (const Rec &c : p.macroCategories)
        if (!categoryNames.contains(idOf(c, "IdCateg")))
            categoryNames.insert(idOf(c, "IdCateg"), txt(c, "Denumire").toString());

    QSet<int> wanted, done;
    for (int id : chosen)
        if (p.macroCategOf.contains(id))
            wanted.insert(p.macroCategOf.value(id));
    QHash<int, int> categoryDest; // package category -> repository's (Planned: added by the run)
    for (const Rec &c : p.macroCategories) {
        const int id = idOf(c, "IdCateg");
        if (!wanted.contains(id) || done.contains(id))
            continue;
        done.insert(id);
        const QString name = txt(c, "Denumire").toString();
        const int existing = categories.value(name);
        plan.macroCategories << item(id, name, existing);
        if (existing == 0)
            categories.insert(name, Planned);
        categoryDest.insert(id, existing == 0 ? Planned : existing);
    }

    // Macros a synchronised report brings replace the body of their namesakes.
    QSet<int> replacing;
    for (const ImportPlan::Report &r : std::as_const(plan.reports))
        if (r.action == QLatin1String("overwrite"))
            for (int id : IMP_GetAllReferences(r.packageId))
                if (chosen.contains(id))
                    replacing.insert(id);
    QSet<int> macrosDone;
    QHash<int, QString> macroNames;
    for (const Rec &m : p.macros) {
        const int id = idOf(m, "IdMacro");
        if (!macroNames.contains(id))
            macroNames.insert(id, txt(m, "MacroName").toString());
        if (!chosen.contains(id) || macrosDone.contains(id))
            continue;
        macrosDone.insert(id);
        const QString name = txt(m, "MacroName").toString();
        if (!categoryDest.contains(idOf(m, "IdCateg"))) {
            plan.macros << ImportPlan::Item{id, name, QStringLiteral("add"), 0,
                                            QStringLiteral("its category is not in the package: it is left out")};
            continue;
        }
        QHash<QString, int> &names = macrosOf(categoryDest.value(idOf(m, "IdCateg")));
        ImportPlan::Item macro = item(id, name, names.value(name));
        if (macro.action == QLatin1String("reuse") && replacing.contains(id))
            macro.note = QStringLiteral("its body is replaced");
        plan.macros << macro;
        if (!names.contains(name))
            names.insert(name, Planned);
    }

    // A macro a report uses that is neither brought nor in the repository by name is left out.
    const auto namesake = [&](int macro) {
        if (!p.macroCategOf.contains(macro))
            return 0;
        const int categ = categories.value(categoryNames.value(p.macroCategOf.value(macro)));
        return categ == 0 ? 0 : macrosOf(categ).value(macroNames.value(macro));
    };
    for (ImportPlan::Report &r : plan.reports) {
        if (r.action == QLatin1String("refused"))
            continue;
        for (const int to : p.reportMacros.value(r.packageId)) {
            if ((chosen.contains(to) && p.macroCategOf.contains(to)) || namesake(to) != 0)
                continue;
            r.warnings << (p.macroCategOf.contains(to)
                               ? QStringLiteral("macro '%1' (%2) is left out").arg(macroNames.value(to)).arg(to)
                               : QStringLiteral("macro %1 is not in the package: it is left out").arg(to));
        }
    }
}

void ImportRun::planSecurity(ImportPlan &plan)
{
    const Package &p = *m_pkg;
    QHash<QString, int> roles;
    bool rolesLoaded = false;
    QSet<int> rolesDone;
    // The roles the run names: those granted a ticked report, and those of imported users.
    const auto role = [&](int packageRole) {
        if (rolesDone.contains(packageRole))
            return;
        for (const Rec &r : p.roles) {
            if (idOf(r, "IdRole") != packageRole)
                continue;
            if (!rolesLoaded) {
                roles = firstIdByName(m_db, ImportLookup::roles(), true);
                rolesLoaded = true;
            }
            rolesDone.insert(packageRole);
            const QString name = txt(r, "Role").toString();
            plan.roles << item(packageRole, name, roles.value(name));
            if (!roles.contains(name))
                roles.insert(name, Planned);
            return;
        }
    };
    if (m_opt.roles && !m_opt.reportIds.isEmpty()) {
        QSet<int> granted;
        for (const Package::Grant &g : p.grants)
            granted.insert(g.role);
        for (const Rec &r : p.roles)
            if (granted.contains(idOf(r, "IdRole")))
                role(idOf(r, "IdRole"));
    }
    if (!m_opt.users)
        return;
    QHash<QString, int> apps = firstIdByName(m_db, ImportLookup::applications(), true);
    QHash<int, int> appDest;
    for (const Rec &a : p.apps) {
        const int id = idOf(a, "IdApp");
        if (appDest.contains(id))
            continue;
        const QString name = txt(a, "AppName").toString();
        const int existing = apps.value(name);
        plan.applications << item(id, name, existing);
        if (existing == 0)
            apps.insert(name, Planned);
        appDest.insert(id, existing == 0 ? Planned : existing);
    }
    QHash<int, QHash<QString, int>> usersByApp;
    QSet<int> usersDone;
    for (const Rec &u : p.users) {
        const int id = idOf(u, "IdUserApp");
        if (usersDone.contains(id))
            continue;
        usersDone.insert(id);
        const int app = appDest.value(idOf(u, "IdApp"));
        auto it = usersByApp.find(app);
        if (it == usersByApp.end())
            it = usersByApp.insert(app, app > 0 ? firstIdByName(m_db, ImportLookup::users(app), false) : QHash<QString, int>());
        const QString name = txt(u, "User").toString();
        ImportPlan::Item user = item(id, name, it->value(name));
        if (user.action == QLatin1String("reuse"))
            user.note = QStringLiteral("its settings and password are kept");
        plan.users << user;
        if (!it->contains(name))
            it->insert(name, Planned);
    }
    for (const Rec &ur : p.userRoles)
        role(idOf(ur, "IdRole"));
}
