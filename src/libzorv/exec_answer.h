#pragma once

#include "answer_writer.h"
#include "exec_sink.h"

namespace zorv::lib {

// Writes an executed statement's answer: field names and rows as CR LF
// lines, as many whole lines as fit, or the number of rows changed.
class ExecAnswer : public ExecSink {
 public:
  explicit ExecAnswer(AnswerWriter& writer) : writer_(writer) {}

  void columns(std::span<const FieldView> names) override;
  bool row(std::span<const FieldView> fields) override;
  void changed(uint64_t rows) override;

 private:
  AnswerWriter& writer_;
};

}  // namespace zorv::lib
