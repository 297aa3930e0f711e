// Cost of writing one row of typical text into an answer buffer.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "answer_writer.h"

namespace {

using zorv::lib::AnswerWriter;
using zorv::lib::FieldView;

void writeRow(benchmark::State& state, const std::vector<std::string>& values) {
  std::vector<FieldView> fields;
  size_t bytes = 0;
  for (const auto& value : values) {
    fields.push_back(FieldView{value.data(), value.size(), false});
    bytes += value.size();
  }
  std::vector<char> buf(AnswerWriter::kCapacity);
  for (auto _ : state) {
    AnswerWriter writer(buf.data());
    writer.appendFields(fields);
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_AsciiRow(benchmark::State& state) {
  writeRow(state, {"123456", "item 123456", "154320.00", "2024-05-01 09:15:00"});
}
BENCHMARK(BM_AsciiRow);

void BM_JapaneseRow(benchmark::State& state) {
  writeRow(state, {"123456", "\xE3\x82\xBD\xE8\xA1\xA8\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 123456",
                   "154320.00", "2024-05-01 09:15:00"});
}
BENCHMARK(BM_JapaneseRow);

}  // namespace
