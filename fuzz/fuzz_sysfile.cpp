// Arbitrary bytes as a system file: the reader either gives a system or one
// message naming the file, and what it gives holds together (every equation
// has a place in the file, a located run error keeps the file's name).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "problem/SystemFile.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const cli::SystemFileRead read = cli::ParseSystemFile("fuzz.txt", text);
  if (!read.system) {
    Check(read.error.rfind("fuzz.txt", 0) == 0);
    return 0;
  }
  const cli::SystemFile& system = *read.system;
  Check(read.error.empty());
  Check(system.EquationTexts().size() == system.equations.size());
  for (const cli::SourceText& equation : system.equations) {
    Check(equation.Line() >= 1);
    const std::string& body = equation.Text();
    // Every byte of an equation, and the place just after it, has a line.
    Check(equation.PlaceOf(body.size() / 2).line >= 1);
    Check(equation.PlaceOf(body.size()).line >= 1);
    (void)cli::CompileFailureOf(body.substr(0, 4096));
  }
  for (const cli::BoxRange& range : system.box) Check(range.low <= range.high);
  const cli::RunFields fields{system.names.has_value(), system.start.has_value()};
  for (const char* error : {"Eq_1: Syntax error", "Eq_2: Type mismatch",
                            "The system has 2 equations, so it needs 2 initial values; 1 was given.",
                            "The system has 2 equations, so it needs 2 unknowns' names; 3 were given."}) {
    const std::string located = cli::LocateRunError(system, fields, error);
    Check(located.find(error) != std::string::npos || located.find("fuzz.txt") == 0);
  }
  return 0;
}
