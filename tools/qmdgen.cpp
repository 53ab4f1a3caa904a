// qmdgen: writes a data file in the instruments' format (see --help).
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "tools/datagen.h"

namespace {

const char kUsage[] =
    "usage: qmdgen --out FILE [options]\n"
    "  --out FILE           file to write (required)\n"
    "  --model N            model code 0..255 (11: power-meter totals, 16-byte records); default 0\n"
    "  --channels N         channel count written in the header (1..32 for a valid file); default 4\n"
    "  --records N          records in the file, markers included; default 100\n"
    "  --decimals N         decimal places 0..3 in every flag byte; default 1\n"
    "  --interval S         seconds between records; default 5\n"
    "  --alarms             set alarm flags where the curves run high or low\n"
    "  --power-failures N   power-failure markers spread over the file; default 0\n"
    "  --backwards N        records whose time goes back (out of time order); default 0\n"
    "  --invalid-times      give some records out-of-range time fields\n"
    "  --trailing N         bytes after the last whole record; default 0\n"
    "  --device N           device number 0..65535; default 1\n"
    "  --seed N             seed of the values' noise; default 1\n"
    "  --help               this text\n";

bool ToInt(const char* text, long long lo, long long hi, long long& out) {
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || v < lo || v > hi) return false;
  out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  GenOptions opt;
  std::string out;
  int backwards = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto number = [&](long long lo, long long hi) -> long long {
      long long v = 0;
      if (i + 1 >= argc || !ToInt(argv[i + 1], lo, hi, v)) {
        std::fprintf(stderr, "qmdgen: %s needs a number from %lld to %lld\n", a.c_str(), lo, hi);
        std::exit(2);
      }
      ++i;
      return v;
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (a == "--model") {
      opt.model = static_cast<int>(number(0, 255));
    } else if (a == "--channels") {
      opt.channels = static_cast<int>(number(0, 255));
    } else if (a == "--records") {
      opt.records = number(0, 100000000);
    } else if (a == "--decimals") {
      opt.decimals = static_cast<int>(number(0, 3));
    } else if (a == "--interval") {
      opt.intervalSeconds = static_cast<int>(number(1, 86400));
    } else if (a == "--alarms") {
      opt.alarms = true;
    } else if (a == "--power-failures") {
      opt.powerFailures = static_cast<int>(number(0, 1000000));
    } else if (a == "--backwards") {
      backwards = static_cast<int>(number(0, 1000000));
    } else if (a == "--invalid-times") {
      opt.invalidTimes = true;
    } else if (a == "--trailing") {
      opt.trailingBytes = static_cast<int>(number(0, 1 << 20));
    } else if (a == "--device") {
      opt.deviceNo = static_cast<std::uint16_t>(number(0, 65535));
    } else if (a == "--seed") {
      opt.seed = static_cast<std::uint32_t>(number(0, 4294967295LL));
    } else {
      std::fprintf(stderr, "qmdgen: unknown or incomplete option %s\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "qmdgen: --out FILE is required\n%s", kUsage);
    return 2;
  }
  // Out-of-order records sit between the power failures, never on a marker.
  const std::vector<std::int64_t> markers = SpreadIndices(opt.records, opt.powerFailures);
  for (std::int64_t k : SpreadIndices(opt.records, backwards)) {
    while (std::find(markers.begin(), markers.end(), k) != markers.end()) ++k;
    if (k < opt.records) opt.backwardsAt.push_back(k);
  }
  if (!WriteDataFile(out, opt)) {
    std::fprintf(stderr, "qmdgen: cannot write %s: %s\n", out.c_str(), std::strerror(errno));
    return 1;
  }
  const long long size = DataHeaderSize(opt.model) + opt.records * DataRecordSize(opt.model, opt.channels) +
                         opt.trailingBytes;
  std::printf("wrote %s: model %d, %d channels, %lld records, %lld bytes\n", out.c_str(), opt.model,
              opt.channels, static_cast<long long>(opt.records), size);
  return 0;
}
