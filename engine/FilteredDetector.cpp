#include "engine/FilteredDetector.h"

void FilteredDetector::setup(float, float, float, float, int32_t) {}
void FilteredDetector::setTimes(float, float) {}
void FilteredDetector::process(const float*, uint32_t) {}
