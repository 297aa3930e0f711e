#pragma once

#include <cstdint>
#include <span>

#include "field_view.h"

namespace zorv::lib {

// Receives what one executed statement answers: either its field names and
// rows, or the number of rows it changed.
class ExecSink {
 public:
  virtual ~ExecSink() = default;

  // Called once, before any row, for a statement that returns rows.
  virtual void columns(std::span<const FieldView> names) = 0;
  // Takes one row; false once the sink wants no more (later rows are dropped).
  virtual bool row(std::span<const FieldView> fields) = 0;
  // Called once for a statement that returns no rows.
  virtual void changed(uint64_t rows) = 0;
};

}  // namespace zorv::lib
