// The picture of `lumetra analyze --png`: per input, a bar chart of each band's maximum and
// average level over nominal band labels. Panels of kPanelWidth x kPanelHeight, one per analysed
// input, stacked top to bottom; drawn with cairo into a PNG.
#pragma once

#include <cstdio>
#include <vector>

#include "tools/AnalyzeReport.h"

namespace lumetra {

constexpr int kPanelWidth = 1200;
constexpr int kPanelHeight = 500;

// Inputs that were not analysed get no panel. Throws AnalysisError when the PNG cannot be made.
void writeBandChart(FILE* out, const std::vector<FileResult>& results, const AnalyzeOptions& options);

// Frees cairo's and fontconfig's process-wide font caches, so that a leak checker sees a clean
// exit. Only when nothing else in the process draws with cairo any more.
void releaseFontCaches();

}  // namespace lumetra
