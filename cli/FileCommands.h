// The Go command's run of one system file, which the batch shares with
// `solve FILE`: its options from the file and its refusal located in it.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "Commands.h"
#include "problem/SystemFile.h"

namespace cli {

// What is wrong with a number of equations for the solve command, or nullopt;
// the message ends with `otherMethods`, which says how the other methods are
// asked for at this door.
std::optional<std::string> EquationCountProblem(std::size_t count,
                                                std::string_view otherMethods = kOtherMethodsTake);

// The solve options for a system file: its equations; the names and initial
// values of `overrides` where they are set (the command line wins), else the
// file's lines, else the defaults of typed equations. Log and JSON as in
// `overrides`. `fields` tells which texts came from the file.
SolveOptions SystemSolveOptions(const SystemFile& system, const SolveOptions& overrides, RunFields& fields);

// SolveOnce on the system, its refusal located in the file (the message the
// ui shows and result.error alike) by what the Go command says failed.
app::GoResult SolveSystem(const SystemFile& system, const RunFields& fields, const SolveOptions& options,
                          eval::SolverUi& ui);

}  // namespace cli
