// The bounds of `nlsolve plot`: the command checks them, its help prints them
// and the build writes them into the manual page. plot/CMakeLists.txt reads
// the values from the lines below, so each stays on one line in the form
// `inline constexpr TYPE kName = DIGITS;` (the build stops when one is missing).
#pragma once

namespace plot {

// Each side of a picture, in pixels: below the smallest the legend and the
// axes leave no room for the plot.
inline constexpr int kMinSide = 320;
inline constexpr int kMaxSide = 8000;
// The whole picture, in pixels: a PNG is painted into an image of 4 bytes a
// pixel, so the largest picture costs 64,000,000 bytes (61 MiB) of memory,
// and the zero curves are sampled on a grid proportional to the area.
inline constexpr long kMaxPixels = 16000000;
inline constexpr int kBytesPerPixel = 4;
// The default time budget in seconds for the method's path, the root search
// and the sampling of the zero curves together (--budget).
inline constexpr int kDefaultBudgetSeconds = 30;
// Of the budget, the root search takes at most this many seconds (and at
// most half of what the path left).
inline constexpr int kRootsSeconds = 10;

}  // namespace plot
