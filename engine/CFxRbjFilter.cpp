#include "engine/CFxRbjFilter.h"

void CFxRbjFilter::designBandPass(double, double, double) {}
void CFxRbjFilter::process(float*, int32_t) {}
