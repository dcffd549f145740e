#pragma once
// The window shown while an activation runs: always on top, no caption
// buttons, one line of text.
#include "toolkit/Forms.h"

class TFrmWaitBox : public TForm {
public:
    explicit TFrmWaitBox(TComponent* owner);
    TMemo* Memo1;
    const char* ClassName() const override { return "TFrmWaitBox"; }
};
