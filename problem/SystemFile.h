// The system file: a system of equations kept as UTF-8 text, one equation per
// line. Text in, a parsed system or one precise message out; no streams, so
// the window can read the same files.
//
//   # lines starting with '#' and blank lines are ignored
//   names: x1, x2        the names field's text, blanks around each name dropped
//   start: 0.5, 1        the initial-values field's text
//   box: -5:5            LOW:HIGH for every unknown, or one range per unknown
//   bounds: 0:inf        LOW:HIGH the unknowns stay within (inf, -inf open)
//   x1^2 - 2*x2 - 2
//   x1 - x2^3 _          a trailing " _" continues the line, as in the script
//     - 1
//
// Messages name the file, the line and, where it is known, the column:
// "system.txt:3:7: Eq_3: Syntax error".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PlacedText.h"
#include "app/GoCommand.h"

namespace cli {

// Larger files are refused before they are read to their end.
inline constexpr std::size_t kMaxSystemFileBytes = std::size_t{64} << 20;

// A text from the file and where each of its bytes came from.
using SourceText = problem::PlacedText;

// One range of a box: line `box: -5:5` or `box: -5:5, 0:10`.
struct BoxRange {
  double low = 0;
  double high = 0;
};

struct SystemFile {
  std::string fileName;  // as the messages name it
  std::vector<SourceText> equations;
  std::optional<SourceText> names;  // the names field's text, each name trimmed
  std::optional<SourceText> start;  // the initial-values field's text
  std::vector<BoxRange> box;        // empty without a box line
  int boxLine = 0;
  std::optional<SourceText> bounds;  // the bounds field's text: LO:HI, inf and -inf allowed

  std::vector<std::string> EquationTexts() const;
  // "system.txt:3:7: " (":7" only with a column), the prefix of a message.
  std::string Where(SourceText::Place place) const;
};

// A parsed system, or the message saying why the text is not one.
struct SystemFileRead {
  std::optional<SystemFile> system;
  std::string error;
};

// "system.txt: larger than 64 MiB, ..." for a file refused for its size.
std::string TooLargeMessage(std::string_view fileName);

// What is wrong with `text` as a file's text (too large, a NUL byte, not
// UTF-8), as a message naming the file and the place; nullopt when nothing.
std::optional<std::string> TextProblem(std::string_view fileName, std::string_view text);

// Checks the text (TextProblem) and parses it. A UTF-8 byte order mark at the
// start is skipped; lines end at LF, CR LF or CR.
SystemFileRead ParseSystemFile(std::string_view fileName, std::string_view text);

// Which fields of a run came from the file, for LocateRunError.
struct RunFields {
  bool namesFromFile = false;
  bool startFromFile = false;
};

// The message of a run of the system that was refused or abandoned, with the
// place in the file of what `failure` names: "Eq_3: Syntax error" becomes
// "system.txt:3:7: Eq_3: Syntax error"; a refused name or initial value
// points at its piece of the names or start line, a count of them that does
// not fit at that line. A message whose cause is not in the file (a field
// the command line gave, a run that left the number range) is returned as it is.
std::string LocateRunError(const SystemFile& system, const RunFields& fields, const app::GoFailure& failure,
                           std::string_view message);

// Where compiling `expression` as an equation fails: the engine's
// description and the byte offset in the expression (npos when the engine
// gives none). nullopt when it compiles.
struct CompileFailure {
  std::string description;
  std::size_t offset = std::string::npos;
};
std::optional<CompileFailure> CompileFailureOf(std::string_view expression);

}  // namespace cli
