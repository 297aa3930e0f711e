// Times the console's table-driven conversions of an 8192-unit text against
// whole-string glibc iconv of the same text, in one run.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <stdexcept>
#include <string>

#include "cp932_table.h"
#include "narrow_text.h"

namespace {

constexpr size_t kUnits = 8192;

std::u16string makeText(std::u16string_view pattern) {
  std::u16string text;
  while (text.size() < kUnits) text += pattern;
  text.resize(kUnits);
  return text;
}

const std::u16string& asciiText() {
  static const std::u16string text = makeText(u"select id, name from t where x = 42;\t");
  return text;
}
const std::u16string& mixedText() {
  static const std::u16string text = makeText(u"データベースの表ソ能 id=42 カナｶﾅ漢字 ok\t");
  return text;
}
const std::u16string& textFor(const benchmark::State& state) {
  return state.range(0) == 0 ? asciiText() : mixedText();
}
const char* labelFor(const benchmark::State& state) {
  return state.range(0) == 0 ? "ascii" : "mixed";
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
  }
  ~Iconv() { iconv_close(cd_); }
  // Converts all of `in` into `out` (large enough); returns the bytes written.
  size_t run(const char* in, size_t inLen, char* out, size_t outLen) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    char* dst = out;
    size_t room = outLen;
    iconv(cd_, &src, &inLen, &dst, &room);
    return outLen - room;
  }

 private:
  iconv_t cd_;
};

void BM_NarrowCopy(benchmark::State& state) {
  zorv::Cp932Table::instance();
  const std::u16string& text = textFor(state);
  for (auto _ : state) {
    zorv::NarrowCopy copy = zorv::narrowCopy(text);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetLabel(labelFor(state));
}

void BM_WideTextBack(benchmark::State& state) {
  const zorv::NarrowCopy copy = zorv::narrowCopy(textFor(state));
  for (auto _ : state) {
    std::u16string wide = zorv::wideText(copy);
    benchmark::DoNotOptimize(wide.data());
  }
  state.SetLabel(labelFor(state));
}

void BM_TableBothWays(benchmark::State& state) {
  zorv::Cp932Table::instance();
  const std::u16string& text = textFor(state);
  for (auto _ : state) {
    zorv::NarrowCopy copy = zorv::narrowCopy(text);
    std::u16string wide = zorv::wideText(copy);
    benchmark::DoNotOptimize(wide.data());
  }
  state.SetLabel(labelFor(state));
}

void BM_IconvBothWays(benchmark::State& state) {
  const std::u16string& text = textFor(state);
  Iconv toNarrow("CP932", "UTF-16LE");
  Iconv toWide("UTF-16LE", "CP932");
  std::string narrow(text.size() * 2 + 1, '\0');
  std::u16string wide(text.size() + 1, u'\0');
  for (auto _ : state) {
    const size_t n = toNarrow.run(reinterpret_cast<const char*>(text.data()), text.size() * 2,
                                  narrow.data(), narrow.size());
    const size_t m = toWide.run(narrow.data(), n, reinterpret_cast<char*>(wide.data()),
                                wide.size() * 2);
    benchmark::DoNotOptimize(m);
  }
  state.SetLabel(labelFor(state));
}

void BM_IconvToNarrow(benchmark::State& state) {
  const std::u16string& text = textFor(state);
  Iconv toNarrow("CP932", "UTF-16LE");
  std::string narrow(text.size() * 2 + 1, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(toNarrow.run(reinterpret_cast<const char*>(text.data()),
                                          text.size() * 2, narrow.data(), narrow.size()));
  }
  state.SetLabel(labelFor(state));
}

void BM_IconvToWide(benchmark::State& state) {
  const zorv::NarrowCopy copy = zorv::narrowCopy(textFor(state));
  Iconv toWide("UTF-16LE", "CP932");
  std::u16string wide(copy.length() + 1, u'\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(toWide.run(copy.data(), copy.length(),
                                        reinterpret_cast<char*>(wide.data()), wide.size() * 2));
  }
  state.SetLabel(labelFor(state));
}

// Why the tables exist: one iconv call per unit, as a naive copy would make.
void BM_IconvPerUnitToNarrow(benchmark::State& state) {
  const std::u16string& text = textFor(state);
  Iconv toNarrow("CP932", "UTF-16LE");
  std::string narrow(text.size() * 2 + 1, '\0');
  for (auto _ : state) {
    size_t at = 0;
    for (char16_t unit : text) {
      at += toNarrow.run(reinterpret_cast<const char*>(&unit), 2, narrow.data() + at, 2);
    }
    benchmark::DoNotOptimize(at);
  }
  state.SetLabel(labelFor(state));
}

}  // namespace

BENCHMARK(BM_NarrowCopy)->Arg(0)->Arg(1);
BENCHMARK(BM_WideTextBack)->Arg(0)->Arg(1);
BENCHMARK(BM_TableBothWays)->Arg(0)->Arg(1);
BENCHMARK(BM_IconvToNarrow)->Arg(0)->Arg(1);
BENCHMARK(BM_IconvToWide)->Arg(0)->Arg(1);
BENCHMARK(BM_IconvBothWays)->Arg(0)->Arg(1);
BENCHMARK(BM_IconvPerUnitToNarrow)->Arg(0)->Arg(1);

BENCHMARK_MAIN();
