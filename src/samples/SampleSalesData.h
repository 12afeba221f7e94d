#pragma once

#include <QString>

// The sample reports' data: a small SQLite sales database (regions, cities, customers, products
// and a few thousand sales over 2024 and 2025). The rows are the same on every machine, so the
// samples show the same figures everywhere.
namespace SampleSalesData {

inline constexpr int SaleCount = 3000;

// Writes the database at path, replacing a file already there; the file appears only once it
// is complete. Throws AppError when it cannot be written.
void Write(const QString &path);

} // namespace SampleSalesData
