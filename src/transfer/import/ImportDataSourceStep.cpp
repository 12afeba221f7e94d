#include "ImportRunInternal.h"

#include <QSet>
#include <QSqlQuery>

// ---- data sources, variables and dependencies

// A data source the repository already has (by name) is reused with its own connection string:
// test and production read different databases. Of its variables only the missing ones (by
// name) are added; the others keep their destination settings.
void ImportRun::ImportDataSources()
{
    const Package &p = *m_pkg;
    QHash<QString, int> byName = guarded([&] { return firstIdByName(m_db, ImportLookup::dataSources(), true); });
    QSet<int> importedVars, existingVars;
    for (int ds : dataSourcesUsed) {
        if (p.dataSources.contains(ds) && !dataSourceMap.contains(ds)) {
            const Rec &r = p.dataSources[ds];
            const QString name = txt(r, "Name").toString();
            int id = byName.value(name);
            if (id != 0) {
                dataSourcesReused.insert(ds);
            } else {
                id = add("ZAT_DataSource", "IdDataSource",
                         {{u"Name"_s, name}, {u"DataSourceString"_s, txt(r, "DataSourceString")}, {u"IsJet"_s, flag(r, "IsJet")},
                          {u"Description"_s, txt(r, "Description")},
                          {u"NetConnectionString"_s, txt(r, "NetConnectionString")}});
                byName.insert(name, id);
            }
            dataSourceMap.insert(ds, id);
        }
        QHash<QString, int> varsByName;
        if (dataSourcesReused.contains(ds))
            varsByName = guarded([&] { return firstIdByName(m_db, ImportLookup::variables(dataSourceMap.value(ds)), false); });
        for (const Rec &v : p.vars.value(ds)) {
            const int source = idOf(v, "IdVar");
            if (varMap.contains(source))
                continue;
            const QString name = txt(v, "Name").toString();
            int id = varsByName.value(name);
            if (id != 0) {
                existingVars.insert(source);
            } else {
                QList<QPair<QString, QVariant>> values = {
                    {u"Name"_s, name}, {u"Type"_s, num(v, "Type")}, {u"Caption"_s, txt(v, "Caption")},
                    {u"DefaultValue"_s, txt(v, "DefaultValue")}, {u"LookupSQLString"_s, txt(v, "LookupSQLString")},
                    {u"SortNr"_s, num(v, "SortNr")}};
                values << qMakePair(QStringLiteral("IdDataSource"),
                                    dataSourceMap.contains(ds) ? QVariant(dataSourceMap.value(ds)) : nullInt());
                id = queue("ZAT_Var", "IdVar", values);
                varsByName.insert(name, id);
            }
            varMap.insert(source, id);
            importedVars.insert(source);
        }
    }
    // Once every variable exists, each dependency row of an imported variable is copied once;
    // between two variables the repository had already, only when it is not there yet.
    for (const Rec &d : p.dependences) {
        const int var = idOf(d, "IdVar");
        if (!importedVars.contains(var))
            continue;
        const int dep = idOf(d, "Iddep");
        if (!varMap.contains(dep))
            throw packageError(QStringLiteral("Variable %1 depends on variable %2, which was not imported.").arg(var).arg(dep));
        if (existingVars.contains(var) && existingVars.contains(dep)
            && guarded([&] {
                   return Sql::scalar(m_db, QStringLiteral("Select count(*) From ZAT_Dependences Where IdVar = %1 And Iddep = %2")
                                                .arg(varMap.value(var)).arg(varMap.value(dep))).toInt();
               }) > 0)
            continue;
        queue("ZAT_Dependences", "ID", {{u"IdVar"_s, varMap.value(var)}, {u"Iddep"_s, varMap.value(dep)}});
    }
}
