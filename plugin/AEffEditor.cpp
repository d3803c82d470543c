#include "plugin/AEffEditor.h"

#include "plugin/AudioEffect.h"

AEffEditor::AEffEditor(AudioEffect* effectIn) : effect(effectIn) {
    if (effect) effect->setEditor(this);
}
