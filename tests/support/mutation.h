#pragma once
// Helpers of the mutation tests: seeded choices (the same files on every run, so a
// failure repeats), a per-file time bound, and the list of broken rules, each with
// the name of the file it came from.

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

class Mutator {
 public:
  explicit Mutator(std::uint32_t seed) : rng_(seed) {}
  // Plain modulo, so the sequence is the same with every standard library.
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(rng_() % n); }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(rng_() & 0xFF); }
  template <class T>
  const T& Pick(const std::vector<T>& from) { return from[Below(from.size())]; }

 private:
  std::mt19937 rng_;
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
  MutantRun(const MutantRun&) = delete;
  MutantRun& operator=(const MutantRun&) = delete;

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
