// The trace library's cost per call: ZORVexec through the bridge access
// layer straight into the recording test bridge, against the same call
// through a copy of libzorv-trace in front of it. The record goes to
// /dev/null (the tracer's own work and the write call) or to a file in the
// system's temporary folder (also the file system's work).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

#include "bridge_binding.h"
#include "bridge_calls.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> gFolders;  // removed at the end of the run

// A folder with a copy of the trace library as libzorv.so and its settings.
fs::path tracedFolder(const std::string& name, const std::string& trace) {
  const fs::path folder =
      fs::temp_directory_path() / ("zorv-trace-bench-" + name + "-" + std::to_string(getpid()));
  gFolders.push_back(folder);
  fs::remove_all(folder);
  fs::create_directories(folder);
  fs::copy_file(ZORV_TRACE_LIBRARY_PATH, folder / "libzorv.so");
  std::ofstream(folder / "libzorv-trace.ini")
      << "library=" << ZORV_RECORDING_BRIDGE_PATH << "\ntrace=" << trace << "\n";
  return folder;
}

// The recording bridge answers every call with one short row and keeps no calls.
void quietBridge() {
  void* handle = dlopen(ZORV_RECORDING_BRIDGE_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!handle) return;
  reinterpret_cast<void (*)(bool)>(dlsym(handle, "fakeRecord"))(false);
  static const char answer[] = "1\r\n1\r\n";
  reinterpret_cast<void (*)(int32_t, const char*, size_t)>(dlsym(handle, "fakeFallback"))(
      0, answer, sizeof answer);
}

void execLoop(benchmark::State& state, zorv::BridgeBindings& bindings) {
  quietBridge();
  std::vector<char> buffer(8193, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(zorv::bridge::callExec(bindings, "select 1", buffer.data()));
  }
}

void BM_ExecDirect(benchmark::State& state) {
  static zorv::BridgeBindings bindings(fs::path(ZORV_RECORDING_BRIDGE_PATH).parent_path());
  execLoop(state, bindings);
}

void BM_ExecTracedToDevNull(benchmark::State& state) {
  static zorv::BridgeBindings bindings(tracedFolder("null", "/dev/null"));
  execLoop(state, bindings);
}

void BM_ExecTracedToFile(benchmark::State& state) {
  static const fs::path folder = tracedFolder("file", "record.jsonl");
  static zorv::BridgeBindings bindings(folder);
  execLoop(state, bindings);
  state.counters["record_bytes"] = static_cast<double>(fs::file_size(folder / "record.jsonl"));
}

}  // namespace

BENCHMARK(BM_ExecDirect);
BENCHMARK(BM_ExecTracedToDevNull);
BENCHMARK(BM_ExecTracedToFile);
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const auto& folder : gFolders) fs::remove_all(folder);
  return 0;
}
