#pragma once
// The settings file "system.par" beside the executable: section "par" for the
// global settings, one section per data file (its name without the folder).
// Every call reads or writes the file afresh; utPubParam::ReadFilePar and
// utPubParam::WriteFilePar (data/pubparam.h) are defined with these.

#include <QString>
#include <cstdint>
#include <string>

#include "data/pubparam.h"

std::string SystemParPath();  // ProgramDir() + "system.par"

// [par] LANGESELECT into GetPubParam()->LANGESELECT.
void ReadLangSelect();
// [par] BKCOLOR, COPYNAME, DEVNAME; channel names "通道1".."通道32", all shown.
void ReadGlobalPar();
// GetPubParam()->SysPar.BKCOLOR into [par] BKCOLOR; false (error: the errno) when it
// could not be written.
bool WriteBkColor(int* error = nullptr);

// What a user is told when a setting could not be saved: message, and on a line of its
// own why the write failed (the system's text of error).
QString SettingsNotSavedText(const QString& message, int error);

// The colour every channel gets on each ReadFilePar.
TColor ChannelPaletteColor(int channel);

// Each pair of opposite margins (percent of the page) leaves at least a fifth of the
// page: top + bottom at most 80, and left at most 40, as the right margin equals it.
constexpr int kMarginPairLimit = 80;
// The most margin `index` (0 top, 1 bottom, 2 left) may take beside the others of pos
// (DATAPOS0..2).
int MarginLimit(int index, const std::int32_t* pos);
// Brings DATAPOS0..2 within the limits: each at least 0, left at most 40, top at most
// 80 and bottom at most what the top leaves.
void LimitMargins(std::int32_t* pos);

// A whole decimal integer ("-12", "+7"); anything else, or a value outside
// 32 bits, gives 0.
std::int32_t ParseParInt(const QString& text);
// A decimal number, truncated toward zero ("16777215.9" gives 16777215); hex,
// NaN, infinities, other texts and values outside 32 bits give 0.
TColor ParseParColor(const QString& text);
