#include "plugin/ADelay.h"

void ADelay::rebuildBank() {}
void ADelay::applyResponseMode() {}
void ADelay::processBlock(float**, float**, VstInt32) {}
void ADelay::resume() {}
