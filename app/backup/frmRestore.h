#pragma once
#include "BackupStore.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

// "バックアップから戻す…": the backups of the book, newest first; the chosen
// one is put in place of the book once every other window has closed.
class frmRestore : public QWidget {
    Q_OBJECT
public:
    // What the main menu does for a restore.
    struct Menu {
        // Lets every window but the menu close, as at the end of the
        // program: false when an editor was kept open by its user.
        std::function<bool()> closeWindows;
        // Shows the catalog again once the program has taken the book back.
        std::function<void()> refresh;
    };

    frmRestore(const QString& bookPath, const QString& iniPath, Menu menu, QWidget* parent);

    // Reads the folder again.
    void Form_Load();
    void cmdRestore_Click();

    // The entries as listed, newest first.
    const QList<BackupEntry>& entries() const { return mEntries; }

    QLabel* lblInfo;
    QTreeWidget* lstBackups;
    QCheckBox* chkSettings;
    QPushButton* cmdRestore;
    QPushButton* cmdClose;

private:
    void updateButtons();

    BackupStore mStore;
    Menu mMenu;
    QList<BackupEntry> mEntries;
};

// The main menu's entry: the window of the program's book (one at a time),
// or, for a book on a server, the message that its administrator makes the
// backups.
void showRestoreWindow(QWidget* menu, frmRestore::Menu how);
