#pragma once

#include "../common/ModalDriver.h"

// Stands in for the user at modal windows, so that code which calls exec()
// can run inside a test: message boxes are read and confirmed, any other
// modal window goes to the handler, which must close it.
class ModalWatcher : public ModalDriver {
public:
    explicit ModalWatcher(Step other = {})
    {
        confirmMessageBoxes();
        if (other)
            otherwise(std::move(other));
    }

    const QStringList& messages = texts; // texts of the message boxes, in order
};
