#pragma once
// Rules of the history-curve chart over plain data: the value axis range, the axes,
// one curve series per channel filled from a record window, and the colours. The
// main form calls these from its handlers; nothing here shows a dialog.

#include <QDate>
#include <QString>
#include <QTime>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/pubparam.h"

class ChartWidget;
class ChartSeries;

// Text lookup by section, key and built-in default (GetLangString in the program; a
// function returning the default stands for "no language file").
using LangLookup = std::function<QString(const std::string&, const std::string&, const QString&)>;
QString DefaultLangText(const std::string& section, const std::string& key, const QString& defaultText);

// Channels of the open file, bounded by what the store holds.
int ChannelCountOf(const utPubParam& store);

// --- Colours ---------------------------------------------------------------------
// Each byte of the colour (system colours resolved) subtracted from 255.
void InvertColor(TColor colour, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b);
void InvertColorRGB(TColor colour, TColor& out);
TColor InvertColorRGB(TColor colour);
// The colour a channel takes when its own equals the background: the inverse of the
// background moved by the channel index, kept inside 24 bits and never equal to the
// background (black background: channel 0 white, channel 1 0xFFFFFE).
TColor ChannelColourOnBackground(TColor background, int channel);
// Replaces channel colour c in the store when it equals the background.
void FixChannelColour(utPubParam& store, int channel, TColor background);
// Kind 0: the background (BKCOLOR); kind 1: the channel's colour; other kinds nothing.
void ApplyColorToStore(utPubParam& store, int kind, int channel, TColor colour);
// System colour "button face", whose inverse colours the axis labels after a
// background change.
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);

// --- Value axis range ------------------------------------------------------------
// UP and DOWN from the data's minimum and maximum; DOWN never above UP. A range of less
// than 300 is widened away from zero on both sides; no accepted value gives 0..100.
void AdjustYRange(double minValue, double maxValue, std::int32_t& up, std::int32_t& down);
void AdjustYRange(utPubParam& store);  // into the store's UP and DOWN (memory only)

// --- Axes and series -------------------------------------------------------------
// Date-time value (days since 1899-12-30) of a picker date and time, whole seconds.
double ToDateTimeValue(const QDate& date, const QTime& time);
// Undoes any zoom, then sets the value axis to DOWN..UP and the time axis to
// start..end, ordering the calls so that the axes' setter rule accepts each one.
void SetupAxes(ChartWidget& chart, std::int32_t up, std::int32_t down, double start, double end);

// Removes the curve series from the chart, empties the list and takes away the cursor
// and marker lines (their labels stay until the caller clears the flags); a held
// picture is let go.
void ClearSeries(ChartWidget& chart, std::vector<ChartSeries*>& curveSeries);
// One series per channel of the file (index = channel), not in the legend, in the
// channel's colour; a channel colour equal to bkColor is replaced in the store.
void CreateSeries(ChartWidget& chart, std::vector<ChartSeries*>& curveSeries, utPubParam& store,
                  TColor bkColor);
// Shows the records of [windowFirst, windowEnd) in the series: a power-failure marker
// ends a segment, a record flagged out of time order is skipped. The series read the
// store's records, which must stay unchanged while they are shown (the chart's picture
// is held while a load rewrites them). windowEnd is cut to the record count. Returns
// the number of records drawn.
int FillSeries(ChartWidget& chart, const std::vector<ChartSeries*>& curveSeries,
               const utPubParam& store, int windowFirst, int& windowEnd);
// Shows or hides a channel's curve, and recolours it.
void SetChannelCurveActive(const std::vector<ChartSeries*>& curveSeries, int channel, bool shown);
void SetChannelCurveColour(const std::vector<ChartSeries*>& curveSeries, int channel, TColor colour);

// --- Small input rules -----------------------------------------------------------
// A double click at the last press position opens the background colour dialog.
bool ChartDoubleClickOpensColour(int lastX, int lastY, int chartWidth, int chartHeight,
                                 bool fileLoaded);
// Keys passed by the Y-limit edits: digits and backspace.
bool YLimitKeyPasses(char key);
