// Told when the user changed a control. UI thread.
#pragma once

class CControl;

class CControlListener {
public:
    virtual void valueChanged(CControl* control) = 0;

protected:
    ~CControlListener() = default;
};
