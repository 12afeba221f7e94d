#pragma once

class RepositorySession;
class ReportEngine;

// Program-wide values that live for the whole run.
namespace App {

RepositorySession &session();
ReportEngine &reportEngine();
// Lets the report-engine module install the real engine (not owned); nullptr restores the default.
void setReportEngine(ReportEngine *engine);

extern int CurrentCompanyId;       // IdAuthor of the chosen company; 0 = none
extern bool OpenInExistingWorkbook; // what double-click and Enter do with a report

} // namespace App
