// The window that shows a run's preview: per folder pair the counts and
// bytes, then every item in a list that sorts by any column.
#pragma once

#include "app/window/run_preview.h"

class Application;

// Runs the window's own loop until it is closed (Close, Escape or the main
// window's close button); changes nothing.
void ShowPreviewWindow(Application& app, const RunPreview& preview);
