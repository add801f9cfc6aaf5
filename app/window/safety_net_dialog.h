// The job's safety net, edited from the main window's "Safety net..."
// button: versions kept for N days, and the deletion guard at P percent.
#pragma once

#include "jobfile/job_settings.h"

class Application;

// Shows the settings' versionDays and deletionGuard and writes them back on
// OK. True when the user changed either.
bool EditSafetyNet(Application& app, JobSettings& settings);

// A whole number from 1 to maximum, digits only; false for anything else.
bool ParseCount(const wchar_t* text, uint32_t maximum, uint32_t& value);
