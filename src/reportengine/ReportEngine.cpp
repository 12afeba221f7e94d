#include "ReportEngine.h"

void ReportEngine::Init(const QSqlDatabase &connection, int companyId)
{
    m_connection = connection;
    m_companyId = companyId;
    m_initialised = true;
}
