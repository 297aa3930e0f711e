// Times one answer command of the console from the click to the answer box
// updated, on the offscreen platform against the test-only library beside
// this program, and the share of it that the conversions take. A soak of
// 100,000 clicks reports the resident memory before and after.
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <fstream>
#include <string>

#include "dynamic_library.h"
#include "form1.h"
#include "narrow_text.h"

namespace {

zorv::Form1* form = nullptr;

template <typename Fn>
Fn fakeControl(const char* name) {
  const auto file = zorv::platform::executableFolder() / zorv::platform::kBridgeLibraryFileName;
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) throw std::runtime_error(dlerror());
  return reinterpret_cast<Fn>(dlsym(handle, name));
}

// One fetched row: ASCII and Japanese, as a real answer would look.
void answerEveryCallWithARow() {
  const std::string row = "42\t\x83\x5C\x95\x5C\x94\x5C sample row\t3.14\t2026-12-07 20:10:49";
  fakeControl<void (*)(bool)>("fakeRecord")(false);
  fakeControl<void (*)(int32_t, const char*, size_t)>("fakeFallback")(0, row.c_str(), row.size() + 1);
}

long residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
  }
  return -1;
}

void BM_FetchClickToDisplay(benchmark::State& state) {
  QPushButton* fetch = form->findChild<QPushButton*>("Command3");
  for (auto _ : state) QTest::mouseClick(fetch, Qt::LeftButton);
  benchmark::DoNotOptimize(form->findChild<QPlainTextEdit*>("text2")->document());
}
BENCHMARK(BM_FetchClickToDisplay)->Unit(benchmark::kMicrosecond);

void BM_ConversionsOfOneAnswerCommand(benchmark::State& state) {
  const std::u16string buffer(form->resultBuffer().units());
  for (auto _ : state) {
    zorv::NarrowCopy copy = zorv::narrowCopy(buffer);
    std::u16string back = zorv::wideText(copy);
    benchmark::DoNotOptimize(back.data());
  }
}
BENCHMARK(BM_ConversionsOfOneAnswerCommand)->Unit(benchmark::kMicrosecond);

void BM_ClickSoak(benchmark::State& state) {
  const long before = residentKiB();
  QPushButton* fetch = form->findChild<QPushButton*>("Command3");
  for (auto _ : state) QTest::mouseClick(fetch, Qt::LeftButton);
  state.counters["rss_before_KiB"] = static_cast<double>(before);
  state.counters["rss_after_KiB"] = static_cast<double>(residentKiB());
}
BENCHMARK(BM_ClickSoak)->Iterations(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  zorv::Form1 window;
  window.show();
  form = &window;
  QTest::mouseClick(form->findChild<QPushButton*>("Command3"), Qt::LeftButton);  // loads and binds the library
  answerEveryCallWithARow();
  for (int i = 0; i < 1000; ++i) QTest::mouseClick(form->findChild<QPushButton*>("Command3"), Qt::LeftButton);  // warm up
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
