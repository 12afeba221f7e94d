#include "ImportRunInternal.h"

#include <QSet>

// ---- data sources, variables and dependencies

void ImportRun::ImportDataSources()
{
    const Package &p = *m_pkg;
    QSet<int> importedVars;
    for (int ds : dataSourcesUsed) {
        if (p.dataSources.contains(ds)) {
            const Rec &r = p.dataSources[ds];
            const int id = add("ZAT_DataSource", "IdDataSource",
                               {{u"Name"_s, txt(r, "Name")}, {u"DataSourceString"_s, txt(r, "DataSourceString")},
                                {u"IsJet"_s, flag(r, "IsJet")}});
            if (!dataSourceMap.contains(ds))
                dataSourceMap.insert(ds, id);
        }
        for (const Rec &v : p.vars.value(ds)) {
            QList<QPair<QString, QVariant>> values = {
                {u"Name"_s, txt(v, "Name")}, {u"Type"_s, num(v, "Type")}, {u"Caption"_s, txt(v, "Caption")},
                {u"DefaultValue"_s, txt(v, "DefaultValue")}, {u"LookupSQLString"_s, txt(v, "LookupSQLString")},
                {u"SortNr"_s, num(v, "SortNr")}};
            values << qMakePair(QStringLiteral("IdDataSource"),
                                dataSourceMap.contains(ds) ? QVariant(dataSourceMap.value(ds)) : nullInt());
            const int id = add("ZAT_Var", "IdVar", values);
            varMap.insert(idOf(v, "IdVar"), id);
            importedVars.insert(idOf(v, "IdVar"));
        }
    }
    // Once every variable exists, each dependency row of an imported variable is copied once.
    for (const Rec &d : p.dependences) {
        const int var = idOf(d, "IdVar");
        if (!importedVars.contains(var))
            continue;
        const int dep = idOf(d, "Iddep");
        if (!varMap.contains(dep))
            throw packageError(QStringLiteral("Variable %1 depends on variable %2, which was not imported.").arg(var).arg(dep));
        add("ZAT_Dependences", "ID", {{u"IdVar"_s, varMap.value(var)}, {u"Iddep"_s, varMap.value(dep)}});
    }
}
