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
  using Kind = app::GoFailure::Kind;
  const app::GoFailure failures[] = {
      {.kind = Kind::Equation, .equation = 0, .offset = 3},   {.kind = Kind::Equation, .equation = 1},
      {.kind = Kind::Equation, .equation = 0, .offset = size}, {.kind = Kind::NameCount},
      {.kind = Kind::ValueCount},                              {.kind = Kind::Name, .piece = 1, .offset = 2},
      {.kind = Kind::Value, .piece = 1},                       {.kind = Kind::LeftNumberRange},
  };
  const std::string message = "a message";
  for (const app::GoFailure& failure : failures) {
    const std::string located = cli::LocateRunError(system, fields, failure, message);
    Check(located.ends_with(message) && (located == message || located.find("fuzz.txt") == 0));
  }
  return 0;
}
