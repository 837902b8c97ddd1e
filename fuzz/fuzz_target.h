#pragma once

// One fuzz target: a function over an input's bytes that calls the product's parsers as the app
// does and checks what must hold for every input (FUZZ_CHECK). The same source builds into a
// libFuzzer program (TANDREL_LIBFUZZER, clang only) and into the replay tests, which run every
// file of fuzz/corpus/<name>/ through it in ordinary builds.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace tandrel::fuzz {

using Target = int (*)(const std::uint8_t* data, std::size_t size);

// A property did not hold: the fuzzer stops with the input, the replay test fails.
void checkFailed(const char* expression, const char* file, int line, const QString& detail);

// A scratch folder of this process for targets that read files (created on first use).
QString scratchFolder();

inline QByteArray bytes(const std::uint8_t* data, std::size_t size) {
  return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

#ifndef TANDREL_LIBFUZZER
bool registerTarget(const char* name, Target target);
#endif

}  // namespace tandrel::fuzz

#define FUZZ_CHECK(condition, detail)                                              \
  do {                                                                             \
    if (!(condition)) {                                                            \
      ::tandrel::fuzz::checkFailed(#condition, __FILE__, __LINE__, (detail));      \
    }                                                                              \
  } while (false)

#ifdef TANDREL_LIBFUZZER
#define TANDREL_FUZZ_TARGET(name) \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
#else
#define TANDREL_FUZZ_TARGET(name)                                                        \
  static int fuzzTarget_##name(const std::uint8_t* data, std::size_t size);             \
  [[maybe_unused]] static const bool fuzzTargetRegistered_##name =                      \
      ::tandrel::fuzz::registerTarget(#name, fuzzTarget_##name);                         \
  static int fuzzTarget_##name(const std::uint8_t* data, std::size_t size)
#endif
