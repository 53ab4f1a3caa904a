#pragma once
// The one process-wide store: header of the open data file, the settings block,
// the language choice and the decoded records. Every part of the program reaches
// it through GetPubParam(); there is no other copy of these values.

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/colors.h"

constexpr int kMaxChannels = 32;
constexpr int kMaxRecords = 680000;

struct pwrTime {
  double PowerOff = 0.0;
  double PowerOn = 0.0;
};

struct tagDataHead {
  std::uint8_t ChannelCount = 0;
  std::uint8_t ModelCode = 0;
  std::uint8_t HeadByte34 = 0;
  std::uint8_t HeadByte35 = 0;
  char DeviceNo[6] = {};       // "%4.4d" of header bytes 36..37
  std::int32_t EarliestIndex = -1;
  std::int32_t LatestIndex = -1;
  std::int32_t MarkerCount = 0;  // markers stored + the closing entry
  std::vector<pwrTime> PowerFailures;
};

struct tagSysPar {
  std::int32_t UP = 0;
  std::int32_t DOWN = 0;
  std::string ChannelName[kMaxChannels];
  std::int32_t ChannelShown[kMaxChannels] = {};
  TColor BKCOLOR = 0;
  TColor ChannelColor[kMaxChannels] = {};
  std::string COPYNAME;
  std::string DEVNAME;
  std::string fontname;
  std::int32_t fontsize = 0;
  std::int32_t POS[4] = {};
  std::int32_t DATAPOS[4] = {};
};

struct tagChannelValue {
  double Value;
  std::uint8_t Alarm[6];  // upper, lower, +deviation, -deviation, over-range, abnormal
};

struct tagDataRecord {
  double Time;          // days since 1899-12-30
  char TimeText[20];    // "%04d-%02d-%02d %02d:%02d:%02d"
  std::uint8_t Marker;  // 1 = power-failure marker or closing entry
  std::int32_t Disorder;  // 1 = out of time order, kept flagged by the user's choice
  tagChannelValue Channel[kMaxChannels];
};

// Records must stay trivially default-constructible: the array is mapped without
// being written, so the kernel commits its pages only as a load fills them.
static_assert(std::is_trivially_default_constructible_v<tagDataRecord>);
static_assert(std::is_trivially_copyable_v<tagDataRecord>);
static_assert(sizeof(tagDataRecord) == 552);

class utPubParam {
 public:
  utPubParam();
  virtual ~utPubParam();
  utPubParam(const utPubParam&) = delete;
  utPubParam& operator=(const utPubParam&) = delete;

  // Settings file "system.par" (section = the data file's name without its folder).
  // WriteFilePar is false when a value could not be written (the file keeps its old text);
  // error then receives the errno of the first value that failed.
  void ReadFilePar(const std::string& section);
  bool WriteFilePar(const std::string& section, int group, int* error = nullptr);

  tagDataHead DataHead;
  tagSysPar SysPar;
  std::int32_t LANGESELECT = 0;
  std::int32_t RecordCount = 0;
  std::vector<std::int32_t> AlarmIndex;
  // kMaxRecords entries for file records plus one for the closing entry.
  tagDataRecord* Records = nullptr;
  double MinValue = 0.0;
  double MaxValue = 0.0;
  char LogText[260] = {};

 private:
  struct FreeRecords {
    void operator()(tagDataRecord* records) const;
  };
  std::unique_ptr<tagDataRecord[], FreeRecords> records_;
};

constexpr int kRecordCapacity = kMaxRecords + 1;

utPubParam* GetPubParam();
