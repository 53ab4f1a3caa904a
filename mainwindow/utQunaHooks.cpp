// Hooks of the main form that the chart, list, export/print and log-window units fill.
// Each is called by the main form at the point its caller names; until its unit
// replaces the body it does nothing.
#include "mainwindow/utQuna.h"

// List unit.
void TfrmQuna::ApplyColumnLayout(int) {}
void TfrmQuna::BuildDataView(int, int, int, int) {}
int TfrmQuna::BuildAlarmIndexFor(int, int) { return 0; }
void TfrmQuna::BuildAlarmView(int, int, int, int) {}
void TfrmQuna::BuildPowerFailView(int, int) {}
void TfrmQuna::BuildAverageView(int, int) {}
void TfrmQuna::BuildEnergyView(int, int) {}
void TfrmQuna::BuildPeakView(int, int) {}
void TfrmQuna::ShowLogWindow() {}

// Export and print unit.
void TfrmQuna::ExportCurrentPage() {}
void TfrmQuna::PrintCurrentPage() {}
