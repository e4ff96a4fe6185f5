#include "ProgramEvents.h"

ProgramEvents& ProgramEvents::instance() {
    static ProgramEvents events;
    return events;
}
