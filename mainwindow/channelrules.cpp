#include "mainwindow/channelrules.h"

#include <cstring>

namespace {

struct ModelEntry {
  const char* key;
  const char* text;
};

// Model texts by code; 13 and above are unrecognised.
const ModelEntry kModels[] = {
    {"Error10", "小型蓝屏记录仪"},          {"Error11", "小型彩色记录仪"},
    {"Error12", "中型蓝屏记录仪"},          {"Error13", "中型彩色记录仪"},
    {"Error14", "大型蓝屏记录仪"},          {"Error15", "大型彩色记录仪"},
    {"Error16", "流量积算仪,无温压补偿"},   {"Error17", "流量积算仪,温度补偿"},
    {"Error18", "流量积算仪,压力补偿"},     {"Error19", "流量积算仪,温度压力补偿"},
    {"Error20", "综合电力测量仪"},          {"Error20", "综合电力测量仪"},
    {"Error23", "温度调节记录仪"},
};

bool IsPowerMeter(int model) { return model == 10 || model == 11; }

QString PowerMeterLabel(int model, int channel, const LangLookup& lang) {
  const int key = (model == 10 ? 24 : 33) + channel;
  return lang("utPubParam", "Error" + std::to_string(key),
              QString::fromUtf8(model == 10 ? "频率(Hz)" : "电量报表"));
}

}  // namespace

QString ModelText(int modelCode, const LangLookup& lang) {
  if (modelCode >= 0 && modelCode < static_cast<int>(std::size(kModels)))
    return lang("utPubParam", kModels[modelCode].key, QString::fromUtf8(kModels[modelCode].text));
  return lang("utPubParam", "Error21", QString::fromUtf8("无法识别的仪表型号"));
}

QString ChannelLabel(const utPubParam& store, int channel, const LangLookup& lang) {
  if (channel < 0 || channel >= kMaxChannels) return {};
  const int model = store.DataHead.ModelCode;
  if (IsPowerMeter(model)) return PowerMeterLabel(model, channel, lang);
  // Every other model, recognised or not, shows the channel's name.
  return QString::fromStdString(store.SysPar.ChannelName[channel]);
}

ModelSetup BuildModelSetup(const utPubParam& store, const LangLookup& lang) {
  ModelSetup s;
  const int model = store.DataHead.ModelCode;
  s.channelCount = ChannelCountOf(store);
  s.namesFromLabels = IsPowerMeter(model);
  for (int c = 0; c < s.channelCount; ++c) {
    s.labels.push_back(ChannelLabel(store, c, lang));
    s.swatchVisible[static_cast<std::size_t>(c)] = true;
  }
  s.ts6Caption = model == 11 ? lang("utPubParam", "Error34", QString::fromUtf8("电量累计"))
                             : lang("frmQuna", "ts6", QString::fromUtf8("峰值统计"));
  s.modelText = ModelText(model, lang);
  const std::string device(store.DataHead.DeviceNo,
                           strnlen(store.DataHead.DeviceNo, sizeof store.DataHead.DeviceNo));
  s.idText = QString::asprintf("%02d%02d", store.DataHead.HeadByte34, store.DataHead.HeadByte35) +
             QString::fromStdString(device);
  s.countText = lang("utPubParam", "Error22", QString::fromUtf8("通道数：")) +
                QString::number(s.channelCount);
  // What DEVNAME stores and every printed header shows, so it reads as the labels do.
  s.deviceText = s.modelText + s.idText;
  return s;
}

void ApplyModelSetup(utPubParam& store, const ModelSetup& setup, TColor background) {
  for (int c = 0; c < setup.channelCount; ++c) {
    store.SysPar.ChannelShown[c] = 1;
    if (setup.namesFromLabels)
      store.SysPar.ChannelName[c] = setup.labels[static_cast<std::size_t>(c)].toStdString();
    FixChannelColour(store, c, background);
  }
}

std::vector<LegendRow> BuildChannelSummary(const utPubParam& store) {
  std::vector<LegendRow> rows;
  const int count = ChannelCountOf(store);
  for (int c = 0; c < count; ++c) {
    // The name, not the power meters' language text: the set-up made the two equal, and
    // only the name follows a rename.
    if (store.SysPar.ChannelShown[c] != 0)
      rows.push_back({c, QString::fromStdString(store.SysPar.ChannelName[c])});
  }
  return rows;
}

int ChannelOfListItem(const utPubParam& store, int which, int itemIndex) {
  if (itemIndex < 0 || itemIndex >= 16 || (which != 0 && which != 1)) return -1;
  const int channel = which * 16 + itemIndex;
  return channel < ChannelCountOf(store) ? channel : -1;
}

bool SetChannelShown(utPubParam& store, int channel, bool shown) {
  if (channel < 0 || channel >= ChannelCountOf(store)) return false;
  store.SysPar.ChannelShown[channel] = shown ? 1 : 0;
  return true;
}

int SwatchChannel(int swatchNumber, int lv8Items, int lv2Items) {
  if (swatchNumber >= 1 && swatchNumber <= 16) return lv8Items >= swatchNumber ? swatchNumber - 1 : -1;
  if (swatchNumber >= 17 && swatchNumber <= 32)
    return lv2Items >= swatchNumber - 16 ? swatchNumber - 1 : -1;
  return -1;
}

bool RenameChannel(utPubParam& store, int channel, const QString& text) {
  if (text.isEmpty() || channel < 0 || channel >= ChannelCountOf(store)) return false;
  store.SysPar.ChannelName[channel] = text.toStdString();
  return true;
}

FlagButtonsAction DecideFlagButtons(const utPubParam& store, int reportType) {
  int shown = 0;
  const int count = ChannelCountOf(store);
  for (int c = 0; c < count; ++c) {
    if (store.SysPar.ChannelShown[c] != 0 && ++shown > 1) return FlagButtonsAction::DisableAndClear;
  }
  return shown == 1 && reportType == 2 ? FlagButtonsAction::Enable : FlagButtonsAction::Keep;
}
