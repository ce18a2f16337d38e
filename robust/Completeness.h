// A proof that a list of roots is complete: branch and prune over a box with
// the compiled equations' interval enclosures.
//
// Each root the search found is certified on its own (Certify). Then the box
// is split into parts until each part is discarded (some equation's
// enclosure excludes 0 there, or it is undefined at every point), or holds
// exactly one root (Krawczyk's operator maps it, or a box around it, into its
// interior), or is left undecided (a budget ran out, a multiple root, a
// tangency, a function without an enclosure rule). The list is complete only
// when nothing is undecided: then the certified roots inside the box are all
// the roots of the equations there (their numbers taken as the doubles they
// read as), each exactly once.
//
//   robust::ProveReport r = robust::ProveRoots(system, box, searchRoots, options);
//   if (r.complete) ... r.roots[i].certificate.enclosure, r.roots[i].where == robust::InBox::Inside
//   else ... r.undecided (smallest first)
#pragma once

#include <atomic>
#include <span>
#include <string>
#include <vector>

#include "Certify.h"
#include "eval/compiled/CompiledSystem.h"

namespace robust {

struct ProveOptions {
  // Wall time for the whole pass, certificates of the search's roots included.
  double maxSeconds = 30;
  // Parts of the box taken up, at most; each costs one interval evaluation
  // of F and J and a few more when it is tested for a root.
  long maxBoxes = 2'000'000;
  // Parts left undecided, at most (each holds a range per unknown); when
  // more remain the pass stops, as for the other budgets.
  long maxUndecided = 10'000;
  // Set from elsewhere (a signal handler): stop at the next part, with the
  // rest undecided. Not owned; may be null.
  const std::atomic<int>* stop = nullptr;  // non-zero: stop
  // No part is split below this fraction of the box's width in an unknown.
  double minWidth = 1E-12;
  // A part narrower than this fraction of the box in every unknown is left
  // undecided when Krawczyk's matrix I - C J does not contract there (its
  // norm at least 1/2, or J not invertible): a multiple root or a tangency,
  // which no smaller part would settle either.
  double singularWidth = 1E-7;
};

// Where a certified root lies against the (closed) search box.
enum class InBox : unsigned char {
  Inside,
  Outside,
  OnEdge,  // its enclosure reaches across the box's edge: in or out is not proved
};

struct ProvedRoot {
  // The search's point, or for a root the proof found the middle of its enclosure.
  std::vector<double> point;
  int searchIndex = -1;  // into the search's points; -1 for a root the proof found
  Certificate certificate;  // Certified: enclosure and box; else why not
  InBox where = InBox::Inside;  // Certified only
  int sameAs = -1;  // an earlier entry certified to hold the same root; -1 when none
};

enum class ProveStop : unsigned char {
  Finished,     // every part was decided or left undecided on its merits
  TimeLimit,    // maxSeconds; the parts not taken up are undecided
  BoxLimit,     // maxBoxes; likewise
  Interrupted,  // the stop flag; likewise
  UndecidedLimit,  // maxUndecided parts were left undecided (a curve of roots, a function without a rule)
  NotSquare,    // as many equations as unknowns are needed: nothing was tried
  BadBox,       // an end of the box is not a number, infinite, or low above high
};

struct ProveReport {
  // The search's points in their order (certified or not), then the roots
  // the proof found that the search did not.
  std::vector<ProvedRoot> roots;
  // Proved: the distinct certified roots Inside are every root in the box.
  bool complete = false;
  int certifiedInside = 0;  // distinct certified roots inside the box
  // Parts where roots may remain (touching ones joined), smallest first:
  // one [lo, hi] per unknown.
  std::vector<std::vector<Bounds>> undecided;
  ProveStop stop = ProveStop::Finished;
  // The first equation that could not be enclosed over some part (a
  // function without an enclosure rule, an equation the compiled form does
  // not cover), and what stopped it; -1 and empty when none.
  int equation = -1;
  std::string what;
  double seconds = 0;
  long boxes = 0;  // parts taken up
};

// `box` has system.Dimension() ranges; each point of `searchRoots` has
// system.Dimension() coordinates. Changes nothing in the system but its
// scratch space.
ProveReport ProveRoots(eval::CompiledSystem& system, std::span<const Bounds> box,
                       std::span<const std::vector<double>> searchRoots, const ProveOptions& options = {});

}  // namespace robust
