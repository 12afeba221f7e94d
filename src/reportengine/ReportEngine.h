#pragma once

#include <QSqlDatabase>

// Produces report workbooks. Initialised once at start-up with the repository connection and
// the chosen company.
class ReportEngine {
public:
    virtual ~ReportEngine() = default;
    virtual void Init(const QSqlDatabase &connection, int companyId);

    int companyId() const { return m_companyId; }
    bool isInitialised() const { return m_initialised; }

protected:
    QSqlDatabase m_connection;
    int m_companyId = 0;
    bool m_initialised = false;
};
