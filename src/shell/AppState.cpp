#include "AppState.h"

#include "reportengine/ReportEngine.h"
#include "repository/RepositorySession.h"

#include <QCoreApplication>

namespace App {

int CurrentCompanyId = 0;
bool OpenInExistingWorkbook = false;

static RepositorySession *theSession = nullptr;

static void releaseSession()
{
    // Closed while Qt's connection registry still exists; a plain static would outlive it.
    delete theSession;
    theSession = nullptr;
}

RepositorySession &session()
{
    if (!theSession) {
        theSession = new RepositorySession;
        qAddPostRoutine(releaseSession);
    }
    return *theSession;
}

static ReportEngine *installedEngine = nullptr;

ReportEngine &reportEngine()
{
    static ReportEngine defaultEngine;
    return installedEngine ? *installedEngine : defaultEngine;
}

void setReportEngine(ReportEngine *engine) { installedEngine = engine; }

} // namespace App
