#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

// Pairing of package reports with destination reports by synchronisation code.
struct SyncCandidate {
    int idReport = 0;     // package report
    QString name;         // package report's name
    QString code;         // its SyncronizeCode; empty when it has none
    int partnerId = 0;    // live destination report with the same code; 0 = none
    QString partnerName;
};

// Every package report (deleted ones too), by name, with its destination partner. A report in
// the destination's recycle bin is no partner: updating it would bring it back unseen.
// Throws AppError when two package reports carry the same code.
QList<SyncCandidate> LoadSyncCandidates(const QSqlDatabase &package, const QSqlDatabase &destination);

// The live destination report carrying code (the oldest when several do); 0 = none.
int FindSyncPartner(const QSqlDatabase &destination, const QString &code);
