#include "StudioReport.h"

#include <algorithm>
#include <cstddef>

#include "problem/PlacedText.h"

namespace studio {
namespace {

// Columns are aligned by characters, not bytes: a name may be any letter.
std::string Padded(const std::string& text, int width) {
  const int shown = problem::CharacterCount(text);
  return text + std::string(static_cast<std::size_t>(std::max(0, width - shown)), ' ');
}

// A cell inside a Markdown table: a '|' would end the cell, a line break the row.
std::string MarkdownCell(const std::string& text) {
  std::string cell;
  for (char c : text) {
    if (c == '|') {
      cell += "\\|";
    } else if (c == '\n' || c == '\r') {
      cell += ' ';
    } else {
      cell += c;
    }
  }
  return cell;
}

// The longest run of backticks in the text, so that a fence is longer.
std::size_t LongestBacktickRun(const std::string& text) {
  std::size_t longest = 0, run = 0;
  for (char c : text) {
    run = c == '`' ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

}  // namespace

std::string PlainText(const Report& report) {
  std::string text = report.printed;
  if (!text.empty() && text.back() != '\n') text += '\n';
  for (const Table& table : report.tables) {
    std::vector<int> widths;
    for (const std::string& column : table.columns) widths.push_back(problem::CharacterCount(column));
    for (const std::vector<Cell>& row : table.rows)
      for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
        widths[c] = std::max(widths[c], problem::CharacterCount(row[c].text));
    auto line = [&](const std::vector<std::string>& cells) {
      std::string out;
      for (std::size_t c = 0; c < cells.size(); ++c)
        out += c + 1 == cells.size() ? cells[c] : Padded(cells[c], widths[c]) + "  ";
      return out + '\n';
    };
    text += '\n' + table.heading + '\n' + line(table.columns);
    for (const std::vector<Cell>& row : table.rows) {
      std::vector<std::string> cells;
      for (const Cell& cell : row) cells.push_back(cell.text);
      text += line(cells);
    }
  }
  return text;
}

std::string Markdown(const Report& report) {
  const std::string fence(std::max<std::size_t>(3, LongestBacktickRun(report.printed) + 1), '`');
  std::string text = "# " + report.title + "\n\n## Report\n\n" + fence + "text\n" + report.printed;
  if (!report.printed.empty() && report.printed.back() != '\n') text += '\n';
  text += fence + "\n";
  for (const Table& table : report.tables) {
    text += "\n## " + table.heading + "\n\n|";
    for (const std::string& column : table.columns) text += " " + MarkdownCell(column) + " |";
    text += "\n|";
    for (std::size_t c = 0; c < table.columns.size(); ++c) text += " --- |";
    text += '\n';
    for (const std::vector<Cell>& row : table.rows) {
      text += '|';
      for (const Cell& cell : row) text += " " + MarkdownCell(cell.text) + " |";
      text += '\n';
    }
  }
  return text;
}

}  // namespace studio
