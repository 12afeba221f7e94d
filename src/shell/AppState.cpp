#include "AppState.h"

#include "reportengine/ReportEngine.h"
#include "repository/RepositorySession.h"

namespace App {

int CurrentCompanyId = 0;
bool OpenInExistingWorkbook = false;

RepositorySession &session()
{
    static RepositorySession s;
    return s;
}

static ReportEngine *installedEngine = nullptr;

ReportEngine &reportEngine()
{
    static ReportEngine defaultEngine;
    return installedEngine ? *installedEngine : defaultEngine;
}

void setReportEngine(ReportEngine *engine) { installedEngine = engine; }

} // namespace App
