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
// GetPubParam()->SysPar.BKCOLOR into [par] BKCOLOR.
void WriteBkColor();

// The colour every channel gets on each ReadFilePar.
TColor ChannelPaletteColor(int channel);

// A whole decimal integer ("-12", "+7"); anything else, or a value outside
// 32 bits, gives 0.
std::int32_t ParseParInt(const QString& text);
// A decimal number, truncated toward zero ("16777215.9" gives 16777215); hex,
// NaN, infinities, other texts and values outside 32 bits give 0.
TColor ParseParColor(const QString& text);
