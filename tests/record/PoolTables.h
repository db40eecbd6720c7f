#pragma once

#include "ServiceRecord.h"

#include <string>
#include <vector>

namespace quorvel::test {

/// A pool of rows rows, keyed by keyColumn ("F0", "F1", ... in it) or handed out in order
/// when keyColumn is empty; each row has a serial "10000000" + i and its file line i + 2.
inline TPoolTable Pool(const std::string& name, const std::string& keyColumn, int rows) {
  TPoolTable table;
  table.Name = name;
  table.KeyColumn = keyColumn;
  table.Columns =
      keyColumn.empty() ? std::vector<std::string>{"serial"} : std::vector<std::string>{keyColumn, "serial"};
  for (int i = 0; i < rows; ++i) {
    const std::string serial = std::to_string(10000000 + i);
    table.Rows.push_back(keyColumn.empty() ? std::vector<std::string>{serial}
                                           : std::vector<std::string>{"F" + std::to_string(i), serial});
    table.Lines.push_back(i + 2);
  }
  return table;
}

}  // namespace quorvel::test
