// The installer's main window, TForm_Main: owns the payload and selects the mode at creation.
#pragma once
#include "xc_exetailhelper.h"

class TForm_Main {
public:
    TForm_Main();

    XC_ExeTailHelper Payload;

private:
    // Returns only in installer mode; the builder and the failure path end the process.
    void FormCreate();
};
