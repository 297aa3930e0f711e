// Rows written to a spill file come back byte for byte, in order, with NULL
// told from empty, also where a row straddles the file's blocks and where a
// field is longer than a block.
#include "spill_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using zorv::lib::FieldView;
using zorv::lib::SpillFile;
using Field = std::optional<std::string>;  // nullopt is NULL

TEST(SpillFile, RowsComeBackAsWritten) {
  const std::vector<Field> pieces = {std::nullopt, "", "a", std::string(100, 'x'),
                                     std::string(256 * 1024 - 3, 'y'), std::string(300 * 1024, 'z'),
                                     std::string(1 << 20, '\0')};
  // Three columns, each row shifting through the pieces, enough rows that
  // rows straddle block ends at many offsets.
  std::vector<std::vector<Field>> rows;
  for (size_t r = 0; r < 400; ++r) {
    rows.push_back({pieces[r % pieces.size()], pieces[(r / 3) % pieces.size()],
                    Field(std::to_string(r))});
  }
  SpillFile spill(3);
  for (const auto& row : rows) {
    std::vector<FieldView> views;
    for (const auto& field : row) {
      views.push_back(field ? FieldView{field->data(), field->size(), false}
                            : FieldView{nullptr, 0, true});
    }
    spill.append(views);
  }
  spill.startReading();
  std::span<const FieldView> read;
  for (size_t r = 0; r < rows.size(); ++r) {
    ASSERT_TRUE(spill.next(read)) << "row " << r << " is missing";
    ASSERT_EQ(read.size(), 3u);
    for (size_t c = 0; c < 3; ++c) {
      const Field got = read[c].isNull ? Field() : Field(std::string(read[c].data, read[c].size));
      ASSERT_EQ(got, rows[r][c]) << "row " << r << ", column " << c;
    }
  }
  EXPECT_FALSE(spill.next(read)) << "a row after the last";
  EXPECT_FALSE(spill.next(read)) << "the end is answered again";
}

}  // namespace
