#include "RobustSolve.h"

#include <cmath>
#include <csignal>
#include <iostream>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "robust/CompiledResiduals.h"
#include "Commands.h"
#include "Interrupt.h"
#include "Progress.h"
#include "StreamUi.h"
#include "app/GoCommand.h"
#include "app/ProblemState.h"
#include "eval/ClsMath.h"
#include "eval/NumberText.h"
#include "eval/ScriptError.h"
#include "eval/compiled/CompiledSystem.h"

namespace cli {
namespace {

// The library's method for a problem's; newton never reaches it.
robust::Method RobustMethod(problem::Method method) {
  switch (method) {
    case problem::Method::Hybrid:
      return robust::Method::Hybrid;
    case problem::Method::Lm:
      return robust::Method::LevenbergMarquardt;
    case problem::Method::Sparse:
      return robust::Method::Sparse;
    case problem::Method::Newton:
    case problem::Method::Auto:
      break;
  }
  return robust::Method::Auto;
}

bool AllFinite(std::span<const double> values) {
  for (double value : values)
    if (!std::isfinite(value)) return false;
  return true;
}

// The summary sentence, with the engine's description of a failing equation.
std::string Sentence(const robust::Report& report, const std::string& failure) {
  std::string sentence = robust::Summary(report);
  if (report.verdict == robust::Verdict::EvaluationFailure && !failure.empty() && !sentence.empty()) {
    sentence.insert(sentence.size() - 1, " (" + OneLine(failure) + ")");
  }
  return sentence;
}

nlohmann::json Number(double value) {
  return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

nlohmann::json Numbers(std::span<const double> values) {
  nlohmann::json list = nlohmann::json::array();
  for (double value : values) list.push_back(Number(value));
  return list;
}

std::string_view RootTestName(robust::RootTest test) {
  return test == robust::RootTest::Scaled ? "scaled" : "absolute";
}


}  // namespace

std::string CertificationReason(const robust::Certificate& certificate, const eval::CompiledSystem& system,
                                bool nearSingularRoot) {
  const std::string equation = "Eq_" + std::to_string(certificate.equation + 1);
  const bool located = certificate.equation >= 0 && certificate.equation < system.Count();
  switch (certificate.outcome) {
    case robust::CertifyOutcome::Certified:
      return "";
    case robust::CertifyOutcome::NotCertifiable:
      if (!located) return "an equation has no enclosure rule";
      // An equation on the engine's road has no tape to enclose at all.
      if (system.Equation(certificate.equation).Method() == eval::Derivatives::CentralDifferences)
        return equation + " has no enclosure: it is not compiled (" + OneLine(certificate.what) + ")";
      return equation + " uses " + certificate.what + ", a function without an enclosure rule";
    case robust::CertifyOutcome::NotSquare:
      return "the system is not square: a proof needs as many equations as unknowns";
    case robust::CertifyOutcome::Singular:
      return "a singular or nearly singular root: the Jacobian there cannot be inverted reliably (a multiple "
             "root, or roots that are not isolated)";
    case robust::CertifyOutcome::Domain:
      if (!located) return "outside the equations' domain: " + certificate.what;
      return "every box tried around the root reaches where " + certificate.what + " in " + equation +
             " is undefined or has no slope";
    case robust::CertifyOutcome::NoContraction:
      if (nearSingularRoot)
        return "a singular or nearly singular root: no box around it contracted under Krawczyk's operator (a "
               "multiple root, or roots that are not isolated)";
      return "no box around the point contracted under Krawczyk's operator: no root near it, or not one alone";
  }
  return "";
}

std::string BoxText(std::span<const robust::Bounds> box) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  std::string text;
  for (std::size_t j = 0; j < box.size(); ++j) {
    // The shortest text of the neighbouring double lies strictly beyond the end.
    text += (j ? " x [" : "[") + FullPrecisionText(std::nextafter(box[j].lo, -kInfinity)) + ", " +
            FullPrecisionText(std::nextafter(box[j].hi, kInfinity)) + "]";
  }
  return text;
}

double BoxWidth(std::span<const robust::Bounds> box) {
  double width = 0;
  for (const robust::Bounds& side : box) width = std::max(width, side.hi - side.lo);
  return width;
}

nlohmann::json BoxJson(std::span<const robust::Bounds> box) {
  nlohmann::json list = nlohmann::json::array();
  for (const robust::Bounds& side : box) list.push_back({side.lo, side.hi});
  return list;
}

bool DenseJacobianFits(std::size_t rows, std::size_t columns) {
  return columns == 0 || rows <= kDenseJacobianBudgetBytes / sizeof(double) / columns;
}

std::size_t MaxDenseEquations() {
  std::size_t n = 0;
  while (DenseJacobianFits(n + 1, n + 1)) ++n;
  return n;
}

bool WantsRobustSolve(const problem::CommandLineInput& input) {
  return problem::RoadOf(input) == problem::Road::Full || input.ftol || input.maxEvaluations || input.maxSeconds ||
         input.maxStarts || input.seed || input.bounds;
}

std::optional<std::string> RobustSolveProblem(const problem::CommandLineInput& input, std::size_t count, bool log) {
  if (problem::RoadOf(input) == problem::Road::Go && input.bounds)
    return "--bounds needs --method sparse, auto, hybrid or lm: the Go command takes no bounds";
  if (problem::RoadOf(input) == problem::Road::Go)
    return "--ftol and the budget options need --method hybrid, lm or auto";
  if (log) return "--log prints the Go command's iteration log; it needs --method newton";
  if (count < 1)
    return "--eq must be given at least once with --method " + input.method.value_or("") + " (given 0)";
  // Bounds and the sparse method keep J's nonzeros only; auto goes sparse for a large system.
  const std::optional<problem::Method> method = problem::MethodNamed(input.method.value_or(""));
  const bool dense = (method == problem::Method::Hybrid || method == problem::Method::Lm) && !input.bounds;
  if (dense && !DenseJacobianFits(count, count))
    return "--method " + input.method.value_or("") + " keeps the Jacobian of " + std::to_string(count) +
           " equations as a dense matrix, more than its budget of " + std::string(kDenseJacobianBudgetText) +
           " (at most " + std::to_string(MaxDenseEquations()) + " equations)";
  return std::nullopt;
}

robust::Options RobustOptionsOf(const problem::MethodOptions& options) {
  robust::Options result;
  result.method = RobustMethod(options.method.value);
  // Without --ftol the scaled test decides (absolute only where no bounds are known).
  if (options.ftol.origin.kind != problem::OriginKind::Default) result.ftol = options.ftol.value;
  result.maxEvaluations = options.maxEvaluations.value;
  result.maxSeconds = options.maxSeconds.value;
  result.maxStarts = options.maxStarts.value;
  result.seed = options.seed.value;
  return result;
}

std::vector<robust::Bounds> BoundsOf(const problem::Problem& problem) {
  std::vector<robust::Bounds> bounds;
  for (const problem::Range& range : problem.bounds.value) bounds.push_back({range.low, range.high});
  return bounds;
}

RobustSolveReport RunRobustProblem(const ProblemRead& read, const std::string& requested, bool certify,
                                   std::ostream* progress, const RobustRunHooks& hooks) {
  RobustSolveReport report;
  report.requested = requested;
  report.certify = certify;
  if (read.read) {
    report.problemRead = true;
    report.names = read.read->problem.names.value;
    report.start = read.read->problem.start.value;
    report.warnings = read.read->problem.warnings;
  }
  auto refuse = [&](const std::string& message) {
    report.refusal = message;
    report.status = kExitFailure;
    return report;
  };
  if (!read.read) return refuse(read.refusal.message);
  const ReadProblem& problem = *read.read;
  // Each definition and equation compiled once; a refused one is named
  // with its place. The library is silent: its messages would come once per
  // trial point, and a failing equation is reported once, by the verdict.
  ProblemCompile compile = CompileProblem(problem);
  if (!compile.compiled) return refuse(compile.refusal);
  CompiledProblem& compiled = *compile.compiled;
  eval::CompiledSystem* const system = &compiled.System();
  robust::CompiledResiduals residuals(*system);
  // Ctrl-C or SIGTERM (or the caller's own flag) ends the solve with its
  // best point so far, checked as usual.
  if (hooks.stop == nullptr) CatchInterrupts();
  robust::Options options = RobustOptionsOf(problem.problem.options);
  options.stop = hooks.stop != nullptr ? hooks.stop : &InterruptFlag();
  options.bounds = BoundsOf(problem.problem);
  report.bounds = options.bounds;
  report.ftol = options.ftol;
  {
    TerminalProgress shown(progress != nullptr ? *progress : std::cerr, progress != nullptr);
    options.progress = shown.Callback();
    if (hooks.progress) options.progress = hooks.progress;
    report.run = robust::Solve(options, residuals, problem.problem.start.value);
  }
  if (report.run.verdict == robust::Verdict::EvaluationFailure) report.failure = residuals.LastFailure();
  report.sentence = Sentence(report.run, report.failure);
  report.definitions = compiled.DefinitionValues(report.run.x);
  report.derivatives = eval::DerivativesName(system->Method());
  if (certify) {
    if (report.run.verdict == robust::Verdict::Root && report.run.x.size() > kMaxCertifyUnknowns) {
      report.certification = "the proof takes at most " + std::to_string(kMaxCertifyUnknowns) +
                             " unknowns (its interval Jacobian and its inverse are dense); this system has " +
                             std::to_string(report.run.x.size());
    } else if (report.run.verdict == robust::Verdict::Root) {
      report.certificate = robust::Certify(*system, report.run.x);
      if (report.certificate->outcome != robust::CertifyOutcome::Certified)
        report.certification = CertificationReason(*report.certificate, *system, report.run.nearSingular);
    } else {
      report.certification = kNoRootToCertify;
    }
  }
  if (report.run.interrupted && hooks.stop != nullptr) {
    report.status = kExitFailure;
  } else if (report.run.interrupted) {
    report.interruptSignal = InterruptSignal() != 0 ? InterruptSignal() : SIGINT;
    report.status = InterruptedExitStatus(report.interruptSignal);
  } else {
    report.status = report.run.verdict == robust::Verdict::Root ? kExitSuccess : kExitFailure;
  }
  return report;
}

nlohmann::json RobustSolveJson(const RobustSolveReport& report) {
  // The Go command's keys first, with their meaning.
  eval::RecordingUi recorder;
  app::GoResult result;
  if (report.refusal) {
    recorder.messages.push_back(*report.refusal);
    result.error = *report.refusal;
    nlohmann::json document = SolveJson(result, recorder);
    document["method"] = report.requested;
    if (report.problemRead) {
      document["names"] = report.names;
      document["warnings"] = WarningsJson(report.warnings);
    }
    return document;
  }
  const robust::Report& run = report.run;
  if (!report.failure.empty()) recorder.messages.push_back(report.failure);
  result.ran = true;
  result.answerText = app::AnswerText(run.x);
  result.title = AllFinite(run.residuals) ? app::TitleText(run.residuals) : "";
  result.x = run.x;
  result.residuals = run.residuals;
  result.converged = run.verdict == robust::Verdict::Root;
  nlohmann::json document = SolveJson(result, recorder);
  // Undefined values are null, never a number that is not one.
  document["x"] = Numbers(run.x);
  document["residuals"] = Numbers(run.residuals);
  document["names"] = report.names;
  document["start"] = Numbers(report.start);
  document["definitions"] = DefinitionsJson(report.definitions);
  document["warnings"] = WarningsJson(report.warnings);
  document["method"] = robust::MethodName(run.method);
  document["requestedMethod"] = report.requested;
  document["verdict"] = robust::VerdictName(run.verdict);
  document["stopReason"] = robust::StopReasonName(run.stopReason);
  document["summary"] = report.sentence;
  document["startsTried"] = run.startsTried;
  document["startIndex"] = run.startIndex;
  document["iterations"] = run.iterations;
  document["functionEvaluations"] = run.functionEvaluations;
  document["jacobianEvaluations"] = run.jacobianEvaluations;
  document["failedTrials"] = run.failedTrials;
  document["maxAbsResidual"] = Number(run.maxAbsResidual);
  document["gradientCosine"] = Number(run.gradientCosine);
  document["conditionEstimate"] = Number(run.conditionEstimate);
  document["nearSingular"] = run.nearSingular;
  // The bounds and where the answer touches them; present only with bounds.
  if (!report.bounds.empty()) {
    nlohmann::json bounds = nlohmann::json::array();
    for (const robust::Bounds& side : report.bounds) bounds.push_back({Number(side.lo), Number(side.hi)});
    document["bounds"] = bounds;
    nlohmann::json onBound = nlohmann::json::array();
    for (const robust::BoundContact& contact : run.onBound)
      onBound.push_back({{"name", report.names[static_cast<std::size_t>(contact.unknown)]},
                         {"side", contact.upper ? "upper" : "lower"},
                         {"bound", contact.bound}});
    document["onBound"] = onBound;
    document["startMovedInside"] = run.startMovedInside;
  }
  if (!run.conditionEstimated) document["conditionEstimated"] = false;
  document["failedEquation"] =
      run.failedEquation >= 0 ? nlohmann::json(run.failedEquation + 1) : nlohmann::json(nullptr);
  // null unless --ftol chose the absolute test.
  document["ftol"] = report.ftol ? nlohmann::json(*report.ftol) : nlohmann::json(nullptr);
  document["derivatives"] = std::string(report.derivatives);
  document["seconds"] = run.seconds;
  // Present only when true, so a clean run's document keeps its keys.
  if (run.interrupted) document["interrupted"] = true;
  if (run.givenStartFailed) document["givenStartFailed"] = true;
  // The root test at the answer; null where F could not be evaluated.
  const robust::RootCheck& check = run.rootCheck;
  document["rootTest"] = check.residualBounds.empty() ? nlohmann::json(nullptr) : nlohmann::json(RootTestName(check.test));
  document["residualBounds"] = Numbers(check.residualBounds);
  document["worstRatio"] = Number(check.worstRatio);
  if (report.certify) {
    const bool certified = report.certificate && report.certificate->outcome == robust::CertifyOutcome::Certified;
    document["certified"] = certified;
    if (certified) {
      document["enclosure"] = BoxJson(report.certificate->enclosure);
    } else {
      document["certification"] = report.certification;
    }
  }
  return document;
}

void PrintRobustSolveText(const RobustSolveReport& report, std::ostream& out, std::ostream& err) {
  if (report.refusal) {
    err << OneLine(*report.refusal) << '\n';
    return;
  }
  if (!report.failure.empty()) err << OneLine(report.failure) << '\n';
  const robust::Report& run = report.run;
  for (std::size_t i = 0; i < run.x.size(); ++i) out << report.names[i] << "= " << eval::NumberText(run.x[i]) << '\n';
  PrintDefinitions(report.definitions, out);
  out << report.sentence << '\n';
  if (report.certify) {
    if (report.certificate && report.certificate->outcome == robust::CertifyOutcome::Certified) {
      out << "certified: exactly one root in " << BoxText(report.certificate->enclosure) << " (width "
          << robust::ShortNumber(BoxWidth(report.certificate->enclosure)) << ")\n";
    } else {
      out << "not certified: " << report.certification << '\n';
    }
  }
  if (run.interrupted && report.interruptSignal == 0)
    out << "The solve was cancelled.\n";
  else if (run.interrupted)
    out << "The solve was interrupted by " << (report.interruptSignal == SIGTERM ? "SIGTERM" : "SIGINT") << ".\n";
}

int PrintRobustRun(const ProblemRead& read, const std::string& requested, bool json, std::ostream& out,
                   std::ostream& err, bool certify, bool progress) {
  if (read.read && !json) PrintWarnings(read.read->problem.warnings, err);
  const RobustSolveReport report = RunRobustProblem(read, requested, certify, progress ? &err : nullptr);
  if (json) {
    out << JsonText(RobustSolveJson(report)) << '\n';
  } else {
    PrintRobustSolveText(report, out, err);
  }
  return report.status;
}

}  // namespace cli
