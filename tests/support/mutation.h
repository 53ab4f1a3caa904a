#pragma once
// Helpers of the mutation tests: seeded choices (the same files on every run, so a failure
// repeats), a per-file time bound, the broken rules with the file each came from, and
// damaged copies of a text file.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

// A file is decided in milliseconds; only a hang or a runaway loop comes near this.
constexpr qint64 kDecideWithinMs = 10000;

struct Mutator {
  explicit Mutator(std::uint32_t seed) : rng(seed) {}
  // Plain modulo, so the sequence is the same with every standard library.
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(rng() % n); }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(rng() & 0xFF); }
  template <class T>
  const T& Pick(const std::vector<T>& from) { return from[Below(from.size())]; }
  std::mt19937 rng;
};

// Runs mutants one by one. A sanitizer report ends the process at once, so the
// name of the mutant under way is printed then; every other broken rule is kept
// and reported once at the end, with the first few names.
class MutantRun {
 public:
  MutantRun() {
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(&PrintCurrent);
#endif
  }
  ~MutantRun() {
    current_ = nullptr;
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(nullptr);
#endif
  }

  // run returns an empty text when every rule held, else what broke.
  void Check(const std::string& name, const std::function<std::string()>& run) {
    current_ = &name;
    QElapsedTimer timer;
    timer.start();
    std::string broken = run();
    if (broken.empty() && timer.elapsed() > kDecideWithinMs) broken = "took " + std::to_string(timer.elapsed()) + " ms";
    if (!broken.empty()) failures_.push_back(name + ": " + broken);
    current_ = nullptr;
    ++count_;
  }

  int count() const { return count_; }

  void ExpectAllHeld() const {
    std::string first;
    for (std::size_t i = 0; i < failures_.size() && i < 20; ++i) first += "\n  " + failures_[i];
    EXPECT_TRUE(failures_.empty()) << failures_.size() << " of " << count_ << " mutants broke a rule:" << first;
  }

 private:
  static void PrintCurrent() {
    if (current_) std::fprintf(stderr, "\nmutant under way: %s\n", current_->c_str());
  }

  static inline const std::string* current_ = nullptr;
  std::vector<std::string> failures_;
  int count_ = 0;
};

struct TextMutant {
  std::string name, bytes;
};

// Bytes that mean something to the file format or to GBK.
const std::vector<std::uint8_t> kNastyBytes = {0,   '\r', '\n', '[', ']', '=', ';', '"', '\'', ' ', '\t', '-', '+',
                                               '.', 'e',  '9',  '0', 0x7F, 0x80, 0x81, 0xA1, 0xFE, 0xFF, 0x40};

std::vector<TextMutant> Changed(const std::string& label, const std::string& base, int count, std::uint32_t seed) {
  Mutator m(seed);
  std::vector<TextMutant> out;
  for (int i = 0; i < count; ++i) {
    TextMutant mu{label + " changed", base};
    const std::size_t edits = 1 + m.Below(6);
    for (std::size_t e = 0; e < edits; ++e) {
      const std::size_t pos = m.Below(mu.bytes.size());
      const std::uint8_t v = m.Below(3) ? m.Pick(kNastyBytes) : m.Byte();
      mu.bytes[pos] = static_cast<char>(v);
      mu.name += " [" + std::to_string(pos) + "]=" + std::to_string(v);
    }
    out.push_back(std::move(mu));
  }
  return out;
}

// lineCuts cuts around line ends (half a GBK character, the '\r' of a CRLF, the next line's
// start), and `anywhere` more lengths.
std::vector<TextMutant> Cuts(const std::string& label, const std::string& base, std::size_t lineCuts,
                             std::size_t anywhere, std::uint32_t seed) {
  std::vector<std::size_t> around, at;
  for (std::size_t i = 1; i < base.size(); ++i)
    if (base[i] == '\n') around.insert(around.end(), {i - 1, i, i + 1});
  Mutator m(seed);
  while (at.size() < lineCuts && !around.empty()) {
    const std::size_t i = m.Below(around.size());
    at.push_back(around[i]);
    around.erase(around.begin() + static_cast<std::ptrdiff_t>(i));
  }
  for (std::size_t i = 0; i < anywhere; ++i) at.push_back(m.Below(base.size()));
  std::vector<TextMutant> out;
  for (std::size_t n : at)
    if (n <= base.size()) out.push_back({label + " cut to " + std::to_string(n) + " bytes", base.substr(0, n)});
  return out;
}
