// The start procedure: it opens the first windows, so it lives with them
// rather than with the program's state.
#include "Catalog.h"
#include "Guarded.h"
#include "frmSelect.h"
#include "frmTitle.h"
#include "modMorvi.h"

#include <QCoreApplication>

namespace modMorvi {

void Main() {
    auto* title = new frmTitle;
    title->show();
    QCoreApplication::processEvents();
    InitEnvironment();
    guarded(nullptr, LoadTableList);
    title->close();
    delete title;
    auto* menu = new frmSelect;
    menu->show();
}

} // namespace modMorvi
