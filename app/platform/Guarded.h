#pragma once
#include "Dialogs.h"

#include <exception>

class QWidget;

// Runs the work of an event handler so that no failure leaves it: the user
// is told what went wrong (every error of the program and of Rellmark
// carries its description as what()) and the data stays as it was.
// Returns false when the work failed.
template <typename F> bool guarded(QWidget* parent, F&& work) {
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        msgBox(parent, QString::fromStdString(e.what()));
        return false;
    }
}
