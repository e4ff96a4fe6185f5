// The start procedure: it opens the first windows, so it lives with them
// rather than with the program's state.
#include "Catalog.h"
#include "Guarded.h"
#include "frmSelect.h"
#include "frmTitle.h"
#include "modMorvi.h"

#include <QCoreApplication>
#include <QTimer>

namespace modMorvi {

void Main() {
    auto* title = new frmTitle;
    title->show();
    QCoreApplication::processEvents();
    InitEnvironment();
    guarded(nullptr, LoadTableList);
    auto* menu = new frmSelect;
    menu->show();
    const QString notice = BookNotice();
    if (notice.isEmpty()) {
        title->close();
        delete title;
        return;
    }
    // The first start of an installed program says where the book was put,
    // on the splash, which stays a few seconds over the main menu.
    title->showNotice(notice);
    QTimer::singleShot(5000, title, [title] {
        title->close();
        title->deleteLater();
    });
}

} // namespace modMorvi
