// What a name means in an equation's engine, asked without an engine: the
// one the input step prepares for each equation (the language, the library
// as kLibraryName with its members global), before any unknown is assigned.
//
//   if (!eval::IsEngineName("SinD")) ...           // false: a library member
//   eval::EquationEngineName("vbTrue").value       // the constant's value, -1
#pragma once

#include <string_view>

#include "ScriptEngine.h"

namespace eval {

// The engine's own answer (ScriptEngine::Resolve): a library member, the
// library object, a built-in, a named constant, or Unknown. Keywords (True,
// Empty, ...) are no names: ask the lexer. Any letter case; thread-safe.
NameMeaning EquationEngineName(std::string_view name);

// True for every name an equation's engine knows without the problem's
// unknowns: EquationEngineName(name).kind != NameKind::Unknown.
bool IsEngineName(std::string_view name);

}  // namespace eval
