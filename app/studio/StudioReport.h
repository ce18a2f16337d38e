// The report of one studio command (solve or roots) as data: the text the
// command line prints for the same system, then tables (each equation's
// residual and rounding bound, the run's counts, the roots). The pane shows
// it, Ctrl+Shift+C copies PlainText, the exports write Markdown or the
// command line's JSON document. Qt-free.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace studio {

// One cell: its text, and the number it stands for where sorting by value
// makes sense (a table of roots sorted by x1 or by condition).
struct Cell {
  std::string text;
  std::optional<double> value;
};

struct Table {
  std::string heading;  // "Residuals", "Run", "Roots"
  std::vector<std::string> columns;
  std::vector<std::vector<Cell>> rows;  // each as many cells as columns
};

struct Report {
  std::string title;    // "Solve with hybrid: system.txt"
  std::string printed;  // what `nlsolve` prints for the same run, stderr's lines first
  std::vector<Table> tables;
  nlohmann::json json;  // the document of the command's --json
};

// The printed text, then each table with its heading, columns aligned.
std::string PlainText(const Report& report);
// A heading, the printed text as a code block, a Markdown table per table.
std::string Markdown(const Report& report);

}  // namespace studio
