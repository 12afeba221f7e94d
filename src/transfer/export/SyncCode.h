#pragma once

#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>

// A new synchronisation code: 50 decimal digits built from chunks of 0..999,979,999, new to
// db's ZAT_Report and not in alsoTaken (codes handed out but not yet written back).
// uniform draws from [0, 1); the default draws from the system's random source, so that two
// repositories never produce the same code. A failing uniqueness query is raised.
QString GenerateSyncronizeCode(const QSqlDatabase &db, const QSet<QString> *alsoTaken = nullptr,
                               const std::function<double()> &uniform = {});

// count such codes, also distinct from each other, looked up in batches.
QStringList GenerateSyncronizeCodes(const QSqlDatabase &db, int count, const QSet<QString> *alsoTaken = nullptr,
                                    const std::function<double()> &uniform = {});

// One chunk of a code for a draw u from [0, 1).
quint32 SyncCodeChunk(double u);
