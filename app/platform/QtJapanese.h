#pragma once

class QCoreApplication;

// Puts Qt's own texts (OK / キャンセル, はい / いいえ, the file dialogs, the
// context menus of text boxes) into Japanese with the translations that Qt
// installs. Returns false, changing nothing, when they are not installed:
// the program then runs with Qt's English texts.
bool installQtJapanese(QCoreApplication& app);
