#include "data/syspar.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <system_error>

#include "platform/appdir.h"
#include "platform/colors.h"
#include "platform/profile.h"

namespace {

// Values are read into a buffer of this size: at most 31 bytes of text.
constexpr std::size_t kValueBuffer = 32;
const QString kGlobal = QStringLiteral("par");

QString Read(const QString& section, const QString& key, const QString& def) {
  return GetProfileText(section, key, def, kValueBuffer, SystemParPath());
}

std::int32_t ReadInt(const QString& section, const QString& key, const char* def) {
  return ParseParInt(Read(section, key, QString::fromLatin1(def)));
}

std::string ReadText(const QString& section, const QString& key, const QString& def) {
  return Read(section, key, def).toStdString();
}

// Write failures leave the old file whole; false tells the callers that show them, and
// *error keeps the reason of the first failure of a group.
bool Write(const QString& section, const QString& key, const QString& value, int* error) {
  int reason = 0;
  const bool ok = WriteProfileText(section, key, value, SystemParPath(), &reason);
  if (!ok && error && *error == 0) *error = reason;
  return ok;
}

bool WriteText(const QString& section, const QString& key, const std::string& value, int* error) {
  return Write(section, key, QString::fromStdString(value), error);
}

bool WriteInt(const QString& section, const QString& key, std::int32_t value, int* error) {
  return Write(section, key, QString::number(value), error);
}

constexpr TColor kLime = 0x00FF00, kRed = 0x0000FF, kBlue = 0xFF0000, kYellow = 0x00FFFF,
                 kMaroon = 0x000080, kPurple = 0x800080, kTeal = 0x808000,
                 kMenu = SystemColor(4), kFuchsia = 0xFF00FF, kAqua = 0xFFFF00,
                 kGreen = 0x008000;

constexpr TColor kPalette[kMaxChannels] = {
    kLime,   kRed,    kBlue,  kYellow, kMaroon, kPurple, kTeal,    kMenu,   // 0..7
    kLime,   kFuchsia, kAqua, kGreen,  kRed,    kBlue,   kYellow,  kMaroon,  // 8..15
    kPurple, kTeal,   kTeal,  kMenu,   kLime,   kFuchsia, kAqua,   kGreen,   // 16..23
    kRed,    kBlue,   kYellow, kMaroon, kPurple, kTeal,  kMenu,    kLime,    // 24..31
};

}  // namespace

std::string SystemParPath() { return ProgramDir() + "system.par"; }

std::int32_t ParseParInt(const QString& text) {
  std::string s = text.trimmed().toStdString();
  std::string_view v = s;
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  if (v.empty() || v.front() == '+') return 0;
  std::int32_t value = 0;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value, 10);
  if (ec != std::errc() || end != v.data() + v.size()) return 0;
  return value;
}

TColor ParseParColor(const QString& text) {
  std::string s = text.trimmed().toStdString();
  std::string_view v = s;
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  // Digits, one point and an exponent only: no hex, no "inf" or "nan".
  if (v.empty() || v.find_first_not_of("0123456789.eE+-") != std::string_view::npos) return 0;
  double value = 0.0;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value,
                                   std::chars_format::general);
  if (ec != std::errc() || end != v.data() + v.size() || !std::isfinite(value)) return 0;
  value = std::trunc(value);
  if (value < static_cast<double>(INT32_MIN) || value > static_cast<double>(INT32_MAX)) return 0;
  return static_cast<TColor>(value);
}

TColor ChannelPaletteColor(int channel) {
  return channel >= 0 && channel < kMaxChannels ? kPalette[channel] : kLime;
}

void ReadLangSelect() { GetPubParam()->LANGESELECT = ReadInt(kGlobal, "LANGESELECT", "0"); }

void ReadGlobalPar() {
  tagSysPar& par = GetPubParam()->SysPar;
  par.BKCOLOR = ParseParColor(Read(kGlobal, "BKCOLOR", "0"));
  for (int i = 0; i < kMaxChannels; ++i) {
    par.ChannelName[i] = QString::fromUtf8("通道%1").arg(i + 1).toStdString();
    par.ChannelShown[i] = 1;
  }
  par.COPYNAME = ReadText(kGlobal, "COPYNAME", "0");
  par.DEVNAME = ReadText(kGlobal, "DEVNAME", "0");
}

bool WriteBkColor(int* error) {
  if (error) *error = 0;
  return WriteInt(kGlobal, "BKCOLOR", GetPubParam()->SysPar.BKCOLOR, error);
}

QString SettingsNotSavedText(const QString& message, int error) {
  return message + QLatin1Char('\n') + QString::fromStdString(std::system_category().message(error));
}

int MarginLimit(int index, const std::int32_t* pos) {
  if (index == 2) return kMarginPairLimit / 2;
  return kMarginPairLimit - std::clamp(pos[index == 0 ? 1 : 0], 0, kMarginPairLimit);
}

void LimitMargins(std::int32_t* pos) {
  pos[0] = std::clamp(pos[0], 0, kMarginPairLimit);
  pos[1] = std::clamp(pos[1], 0, MarginLimit(1, pos));
  pos[2] = std::clamp(pos[2], 0, MarginLimit(2, pos));
}

void utPubParam::ReadFilePar(const std::string& sectionName) {
  const QString section = QString::fromStdString(sectionName);
  tagSysPar& par = SysPar;
  par.UP = ReadInt(section, "UP", "100");
  // UP := DOWN + 1 below must not overflow.
  par.DOWN = std::min(ReadInt(section, "DOWN", "0"), INT32_MAX - 1);
  if (par.DOWN > par.UP) par.UP = par.DOWN + 1;
  par.fontname = ReadText(section, "fontname", QString::fromUtf8("宋体"));
  par.fontsize = ReadInt(section, "fontsize", "12");
  for (int i = 0; i < 4; ++i) {
    par.POS[i] = ReadInt(section, QString("POS%1").arg(i), "1");
    const std::int32_t pos = ReadInt(section, QString("DATAPOS%1").arg(i), i < 3 ? "5" : "65");
    // The preview zoom stays positive and at most the page's own size (a damaged value
    // would ask for an image of gigabytes).
    par.DATAPOS[i] = i < 3 ? pos : std::clamp(pos, 1, 100);
  }
  // Margins that meet or cross turn the page inside out.
  LimitMargins(par.DATAPOS);
  for (int i = 0; i < kMaxChannels; ++i) {
    const QString key = QString("ch%1").arg(i + 1);
    par.ChannelName[i] = ReadText(section, key, key);
    par.ChannelColor[i] = kPalette[i];
  }
}

bool utPubParam::WriteFilePar(const std::string& sectionName, int group, int* error) {
  const QString section = QString::fromStdString(sectionName);
  if (error) *error = 0;
  bool ok = true;
  if (group == -1) {
    const int count = std::min<int>(DataHead.ChannelCount, kMaxChannels);
    for (int i = 0; i < count; ++i)
      ok = WriteText(section, QString("ch%1").arg(i + 1), SysPar.ChannelName[i], error) && ok;
  } else if (group >= 1 && group <= 31) {
    ok = WriteInt(section, QString("chcolor%1").arg(group), SysPar.ChannelColor[group - 1], error);
  } else if (group >= 33 && group <= 35) {
    ok = WriteText(kGlobal, "COPYNAME", SysPar.COPYNAME, error);
    ok = WriteText(kGlobal, "DEVNAME", SysPar.DEVNAME, error) && ok;
  } else if (group >= 43 && group <= 45) {
    for (int i = 0; i < 4; ++i)
      ok = WriteInt(section, QString("DATAPOS%1").arg(i), SysPar.DATAPOS[i], error) && ok;
  }
  return ok;
}
