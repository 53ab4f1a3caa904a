// Hooks of the main form that the chart, list, export/print and log-window units fill.
// Each is called by the main form at the point its caller names; until its unit
// replaces the body it does nothing.
#include "mainwindow/utQuna.h"

// Chart unit.
void TfrmQuna::AdjustYRange() {}
void TfrmQuna::SetupAxes() {}
void TfrmQuna::CreateSeries() {}
void TfrmQuna::FillSeries() {}
void TfrmQuna::ClearSeries() {}
void TfrmQuna::ClearFlags() {}
void TfrmQuna::UpdateFlagButtons() {}
void TfrmQuna::SetupMainFormForModel() {}
void TfrmQuna::ShowChannelSummary() {}
void TfrmQuna::RefreshChannelList(int, bool) {}
void TfrmQuna::ApplyColor(int, int, TColor) {}
void TfrmQuna::ChooseColor(int, int) {}

// Export and print unit.
void TfrmQuna::ExportCurrentPage() {}
void TfrmQuna::PrintCurrentPage() {}
