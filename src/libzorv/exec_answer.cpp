#include "exec_answer.h"

#include <string>

namespace zorv::lib {

void ExecAnswer::columns(std::span<const FieldView> names) { writer_.appendLine(names); }

bool ExecAnswer::row(std::span<const FieldView> fields) { return writer_.appendLine(fields); }

void ExecAnswer::changed(uint64_t rows) { writer_.appendText(std::to_string(rows)); }

}  // namespace zorv::lib
