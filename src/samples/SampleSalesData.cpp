#include "SampleSalesData.h"

#include "repository/AppError.h"
#include "repository/PackageFile.h"
#include "repository/Sql.h"

#include <QAtomicInt>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <iterator>

namespace {

struct City {
    const char *name;
    const char *region;
};

const City Cities[] = {
    {"Harrowgate", "North"}, {"Kelmsby", "North"},    {"Norbridge", "North"}, {"Ashport", "South"},
    {"Bellmoor", "South"},   {"Southwold", "South"},  {"Eastfield", "East"},  {"Marrowby", "East"},
    {"Quinton", "East"},     {"Westholm", "West"},    {"Fenwick", "West"},    {"Rydale", "West"},
};
const char *const Regions[] = {"North", "South", "East", "West"};

struct Product {
    const char *name;
    const char *category;
    int priceCents;
    int maxQuantity;
};

const Product Products[] = {
    {"Desk lamp", "Lighting", 2490, 6},          {"Floor lamp", "Lighting", 7900, 3},
    {"Office chair", "Furniture", 14900, 4},     {"Standing desk", "Furniture", 38900, 2},
    {"Filing cabinet", "Furniture", 12900, 3},   {"Notebook A5", "Stationery", 320, 40},
    {"Ballpoint pens (10)", "Stationery", 450, 30}, {"Desk organiser", "Stationery", 1275, 10},
    {"Monitor 27 inch", "Electronics", 21900, 4}, {"USB-C dock", "Electronics", 8990, 5},
    {"Wireless keyboard", "Electronics", 4590, 8}, {"Headset", "Electronics", 6490, 6},
};

const char *const CustomerWords[] = {"Alder", "Birch", "Cedar", "Elm", "Hazel", "Linden", "Maple", "Rowan", "Willow", "Yew"};
const char *const CustomerKinds[] = {"Trading", "Supplies", "Partners", "Works", "Office"};

void exec(QSqlQuery &q, const QString &what)
{
    if (!q.exec())
        throw AppError(ErrorNumber::Database,
                       QStringLiteral("The sample sales data could not be written (%1): %2").arg(what, q.lastError().text()));
}

void fill(const QSqlDatabase &db)
{
    for (const char *ddl :
         {"Create Table Region (Name Text Primary Key, SortNr Integer)",
          "Create Table City (IdCity Integer Primary Key, Name Text Not Null, Region Text Not Null)",
          "Create Table Customer (IdCustomer Integer Primary Key, Name Text Not Null, IdCity Integer Not Null)",
          "Create Table Product (IdProduct Integer Primary Key, Name Text Not Null, Category Text Not Null, "
          "UnitPrice Real Not Null)",
          "Create Table Sale (IdSale Integer Primary Key, InvoiceNo Text Not Null, SaleDate Text Not Null, "
          "IdCustomer Integer Not Null, IdProduct Integer Not Null, Quantity Integer Not Null, "
          "UnitPrice Real Not Null, Discount Integer Not Null, Amount Real Not Null)",
          "Create Index SaleDateIdx On Sale (SaleDate)", "Create Index CustomerCityIdx On Customer (IdCity)"})
        Sql::exec(db, QString::fromLatin1(ddl));

    QSqlQuery q(db);
    q.prepare(QStringLiteral("Insert Into Region (Name, SortNr) Values (?, ?)"));
    int n = 0;
    for (const char *r : Regions) {
        q.addBindValue(QString::fromLatin1(r));
        q.addBindValue(++n);
        exec(q, QStringLiteral("regions"));
    }
    q.prepare(QStringLiteral("Insert Into City (IdCity, Name, Region) Values (?, ?, ?)"));
    n = 0;
    for (const City &c : Cities) {
        q.addBindValue(++n);
        q.addBindValue(QString::fromLatin1(c.name));
        q.addBindValue(QString::fromLatin1(c.region));
        exec(q, QStringLiteral("cities"));
    }
    q.prepare(QStringLiteral("Insert Into Product (IdProduct, Name, Category, UnitPrice) Values (?, ?, ?, ?)"));
    n = 0;
    for (const Product &p : Products) {
        q.addBindValue(++n);
        q.addBindValue(QString::fromLatin1(p.name));
        q.addBindValue(QString::fromLatin1(p.category));
        q.addBindValue(p.priceCents / 100.0);
        exec(q, QStringLiteral("products"));
    }

    QRandomGenerator rng(20250101u); // fixed: the same rows everywhere
    const int cityCount = int(std::size(Cities));
    const int customerCount = 48;
    q.prepare(QStringLiteral("Insert Into Customer (IdCustomer, Name, IdCity) Values (?, ?, ?)"));
    for (int i = 0; i < customerCount; ++i) {
        q.addBindValue(i + 1);
        q.addBindValue(QStringLiteral("%1 %2").arg(QString::fromLatin1(CustomerWords[i % std::size(CustomerWords)]),
                                                  QString::fromLatin1(CustomerKinds[(i / std::size(CustomerWords)) % std::size(CustomerKinds)])));
        q.addBindValue(i % cityCount + 1); // every city has four customers
        exec(q, QStringLiteral("customers"));
    }

    const QDate first(2024, 1, 1);
    const int days = int(first.daysTo(QDate(2025, 12, 31))) + 1;
    QList<int> dayOffsets(SampleSalesData::SaleCount);
    for (int &d : dayOffsets)
        d = int(rng.bounded(days));
    std::sort(dayOffsets.begin(), dayOffsets.end()); // invoices are numbered in date order
    q.prepare(QStringLiteral("Insert Into Sale (IdSale, InvoiceNo, SaleDate, IdCustomer, IdProduct, Quantity, "
                             "UnitPrice, Discount, Amount) Values (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const int productCount = int(std::size(Products));
    for (int i = 0; i < SampleSalesData::SaleCount; ++i) {
        const int product = int(rng.bounded(productCount));
        const Product &p = Products[product];
        const int quantity = 1 + int(rng.bounded(p.maxQuantity));
        const int discount = int(rng.bounded(4)) * 5; // percent
        const qint64 cents = (qint64(quantity) * p.priceCents * (100 - discount) + 50) / 100;
        q.addBindValue(i + 1);
        q.addBindValue(QStringLiteral("INV-%1").arg(i + 1, 5, 10, QLatin1Char('0')));
        q.addBindValue(first.addDays(dayOffsets[i]).toString(Qt::ISODate));
        q.addBindValue(1 + int(rng.bounded(customerCount)));
        q.addBindValue(product + 1);
        q.addBindValue(quantity);
        q.addBindValue(p.priceCents / 100.0);
        q.addBindValue(discount);
        q.addBindValue(cents / 100.0);
        exec(q, QStringLiteral("sales"));
    }
}

QAtomicInt writerCounter;

} // namespace

void SampleSalesData::Write(const QString &path)
{
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw AppError(ErrorNumber::Generic,
                       QStringLiteral("The folder '%1' cannot be created for the sample sales data.").arg(target.absolutePath()));
    const QString part = target.absoluteFilePath() + QStringLiteral(".part");
    QFile::remove(part);
    const QString connection = QStringLiteral("velmora-sample-sales-%1").arg(writerCounter.fetchAndAddRelaxed(1) + 1);
    try {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(part);
            if (!db.open())
                throw AppError(ErrorNumber::BadFile, QStringLiteral("The sample sales data cannot be written to '%1': %2")
                                                         .arg(path, db.lastError().text()));
            if (!db.transaction())
                throw AppError(ErrorNumber::Database, db.lastError().text());
            fill(db);
            if (!db.commit())
                throw AppError(ErrorNumber::Database, QStringLiteral("The sample sales data could not be committed: %1")
                                                          .arg(db.lastError().text()));
        }
        PackageFile::close(connection);
        QFile::remove(target.absoluteFilePath());
        if (!QFile::rename(part, target.absoluteFilePath()))
            throw AppError(ErrorNumber::BadFile, QStringLiteral("The file '%1' cannot be replaced.").arg(path));
    } catch (...) {
        PackageFile::close(connection);
        QFile::remove(part);
        throw;
    }
}
