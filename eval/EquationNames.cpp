#include "EquationNames.h"

#include <memory>

#include "ClsMath.h"

namespace eval {
namespace {

// Prepared once and only ever asked (Resolve reads the engine's state and
// changes nothing), so threads may share it.
const ScriptEngine& BareEquationEngine() {
  static const std::unique_ptr<ScriptEngine> engine = [] {
    auto prepared = std::make_unique<ScriptEngine>();
    prepared->SetLanguage("VBScript");
    prepared->AddObject(kLibraryName, std::make_shared<ClsMath>(), true);
    return prepared;
  }();
  return *engine;
}

}  // namespace

NameMeaning EquationEngineName(std::string_view name) { return BareEquationEngine().Resolve(name); }

bool IsEngineName(std::string_view name) { return EquationEngineName(name).kind != NameKind::Unknown; }

}  // namespace eval
