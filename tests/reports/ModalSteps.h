#pragma once

#include "../common/ModalDriver.h"

// Stands in for the user at modal windows: each window that opens modally
// gets the next step (see ModalDriver); the step must close it. A window with
// no step left, or one left open by a failed step, is closed with a failure,
// so a test never hangs in a modal loop.
class ModalSteps : public ModalDriver {
public:
    explicit ModalSteps(QList<Step> steps)
    {
        for (Step& step : steps)
            then(std::move(step));
    }
    int pending() const { return stepsLeft(); }
};
