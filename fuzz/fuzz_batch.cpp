// Arbitrary bytes as one batch line: the result is always one line of JSON,
// an object with an "id", and a line that is an object with an "id" gets
// that id back. The runs are the real ones (the Go road, or a method with its
// budgets), in the scratch directory scripts/fuzz.sh runs the target in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "cli/Batch.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The input's id, when the line is an object that has one and the library
// reads it without going deeper than the batch itself would.
bool InputId(std::string_view line, nlohmann::json& id) {
  int depth = 0;
  const auto shallow = [&depth](int, nlohmann::json::parse_event_t event, nlohmann::json&) {
    if (event == nlohmann::json::parse_event_t::object_start ||
        event == nlohmann::json::parse_event_t::array_start)
      ++depth;
    if (event == nlohmann::json::parse_event_t::object_end || event == nlohmann::json::parse_event_t::array_end)
      --depth;
    return depth <= 64;
  };
  const nlohmann::json value = nlohmann::json::parse(line, shallow, false);
  if (value.is_discarded() || !value.is_object() || !value.contains("id")) return false;
  id = value["id"];
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  // A line of the input never holds a line end; the reader splits there.
  if (line.find('\n') != std::string_view::npos) return 0;
  const cli::BatchLineResult result = cli::RunBatchLine(line, 7);
  Check(result.json.find('\n') == std::string::npos);
  const nlohmann::json parsed = nlohmann::json::parse(result.json, nullptr, false);
  Check(!parsed.is_discarded() && parsed.is_object() && parsed.contains("id"));
  // A line refused before it ran is {"error": "line N: ...", "id": ...}; a
  // run's result always has "error" (empty, or what stopped it) and "log".
  const bool refused = !parsed.contains("log");
  if (refused) Check(parsed["error"].is_string() && !result.converged);
  nlohmann::json id;
  if (InputId(line, id) && !refused) Check(parsed["id"] == id);
  return 0;
}
