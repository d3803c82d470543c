#include "plugin/AEffEditor.h"

#include "plugin/AudioEffect.h"

AEffEditor::AEffEditor(AudioEffect* effectIn) : effect(effectIn) {
    if (effect) effect->setEditor(this);
}

AEffEditor::~AEffEditor() {
    if (effect && effect->getEditor() == this) effect->setEditor(nullptr);
}
