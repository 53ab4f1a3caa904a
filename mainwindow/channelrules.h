#pragma once
// Channel panel rules over plain data: what the set-up for an instrument model shows,
// the legend rows, the shown flags, renames, swatches and the marker-button rule.
// Every list row, legend row and swatch is tied to its channel by index, so channels
// that share a name stay apart.

#include <QString>
#include <array>
#include <vector>

#include "data/pubparam.h"
#include "mainwindow/chartrules.h"

// Texts and flags of the channel panel after a header has been read.
struct ModelSetup {
  int channelCount = 0;
  std::vector<QString> labels;  // caption of channel c's item (lv8 for c < 16, else lv2)
  bool namesFromLabels = false;  // power meters: the store's names become the labels
  QString modelText;             // lbl2
  QString idText;                // lbl3: "%02d%02d%s" of header bytes 34, 35 and the device number
  QString countText;             // lbl8
  QString deviceText;            // edtdevice: the model text, then the identifier
  QString ts6Caption;
  std::array<bool, kMaxChannels> swatchVisible{};
};

QString ModelText(int modelCode, const LangLookup& lang);
// Label of channel c: the channel name, or for models 10 and 11 the language text.
QString ChannelLabel(const utPubParam& store, int channel, const LangLookup& lang);
ModelSetup BuildModelSetup(const utPubParam& store, const LangLookup& lang);
// The store side of the set-up: every channel shown, power-meter names replaced by
// their labels, a channel colour equal to the background replaced (not saved).
void ApplyModelSetup(utPubParam& store, const ModelSetup& setup, TColor background);

// One legend row per shown channel, in channel order, labelled with the channel's name.
struct LegendRow {
  int channel = 0;
  QString label;
};
std::vector<LegendRow> BuildChannelSummary(const utPubParam& store);

// Channel of item k of lv8 (which 0) or lv2 (which 1); -1 when the file has no such channel.
int ChannelOfListItem(const utPubParam& store, int which, int itemIndex);
// Sets a channel's shown flag; false when the channel is not one of the file's.
bool SetChannelShown(utPubParam& store, int channel, bool shown);
// Channel of swatch number 1..32 when its list holds the item, else -1.
int SwatchChannel(int swatchNumber, int lv8Items, int lv2Items);
// Renames a channel; an empty text or a channel outside the file changes nothing.
bool RenameChannel(utPubParam& store, int channel, const QString& text);

// Marker-line buttons: more than one shown channel disables both and clears the
// lines; exactly one on the curve page (ReportType 2) enables them; none keeps them.
enum class FlagButtonsAction { Keep, Enable, DisableAndClear };
FlagButtonsAction DecideFlagButtons(const utPubParam& store, int reportType);
