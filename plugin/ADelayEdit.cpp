#include "plugin/ADelayEdit.h"

#include "plugin/AEffEditor.h"

ADelayEdit::ADelayEdit(audioMasterCallback audioMasterIn) : ADelay(audioMasterIn) {
    setUniqueID(lumetra::kUniqueId);
}

void ADelayEdit::setParameter(VstInt32 index, float value) {  // Any thread
    ADelay::setParameter(index, value);
    if (editor) editor->setParameter(index, value);
}
