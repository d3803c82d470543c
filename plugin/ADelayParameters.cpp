#include "plugin/ADelay.h"

void ADelay::setParameter(VstInt32, float) {}
float ADelay::getParameter(VstInt32) { return 0.0f; }
void ADelay::setProgram(VstInt32 program) { curProgram = program; }
void ADelay::setProgramName(char*) {}
void ADelay::getProgramName(char*) {}
void ADelay::getParameterLabel(VstInt32, char*) {}
void ADelay::getParameterDisplay(VstInt32, char*) {}
void ADelay::getParameterName(VstInt32, char*) {}
bool ADelay::getProgramNameIndexed(VstInt32, VstInt32, char*) { return false; }
