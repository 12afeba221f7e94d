#include "PackageBuilder.h"

#include "repository/PackageFile.h"
#include "repository/RepositorySession.h"
#include "repository/Schema.h"

static int builderCounter = 0;

PackageBuilder::PackageBuilder(const QString &path)
    : m_path(path), m_connection(QStringLiteral("package-builder-%1").arg(++builderCounter))
{
    RepositorySession creator;
    creator.CreateDatabase(path);
    m_db = PackageFile::openForWriting(path, QString::fromLatin1(Schema::PackagePassword), m_connection);
    Sql::exec(m_db, QStringLiteral("Delete From ZAT_App"));
    Sql::exec(m_db, QStringLiteral("Delete From ZAT_Company"));
}

PackageBuilder::~PackageBuilder() { close(); }

void PackageBuilder::row(const QString &table, const Sql::Values &values) { Sql::insertRow(m_db, table, values); }

void PackageBuilder::category(int id, int parent, const QString &name, int sortNr, int isDeleted)
{
    row("ZAT_Category", {{"IdCateg", id}, {"Name", name}, {"IdParent", parent}, {"IsDeleted", isDeleted}, {"ShowDeleted", 0}});
    if (sortNr >= 0)
        Sql::insert(m_db, "ZAT_Sort", "IdSort", {{"ItemType", "c"}, {"IdItem", id}, {"SortNr", sortNr}});
}

void PackageBuilder::report(int id, int categ, const QString &name, const QString &code, int isDeleted)
{
    row("ZAT_Report", {{"IdReport", id}, {"Name", name}, {"IdCateg", categ}, {"IsDeleted", isDeleted},
                       {"SyncronizeCode", code.isEmpty() ? QVariant() : QVariant(code)}});
}

void PackageBuilder::close()
{
    if (!m_db.isValid())
        return;
    m_db = QSqlDatabase();
    PackageFile::close(m_connection);
}

int rowCount(const QSqlDatabase &db, const QString &table, const QString &where)
{
    return Sql::scalar(db, QStringLiteral("Select count(*) From ") + table
                               + (where.isEmpty() ? QString() : QStringLiteral(" Where ") + where))
        .toInt();
}
