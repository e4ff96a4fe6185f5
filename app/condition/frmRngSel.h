#pragma once
#include "Catalog.h"
#include "ConditionTranslator.h"

#include <QWidget>
#include <memory>
#include <optional>

class CondTextBox;
class ConditionLookup;
class QLabel;
class QListView;
class QListWidget;
class QPushButton;
class QStatusBar;
class QStringListModel;
class QTimer;
class RngSelOwner;

// The condition editor of one summary window: the table's columns and the
// values they hold, inserted as marked items into a text box in which the
// user writes the condition. Five seconds after the last key the condition
// is translated; the first error goes to the status bar, a valid condition
// to the owner.
//
// The owner creates it (as its child), sets mTableNum and mSameTblNum, calls
// SetSqlStr and SetParent, then either shows it or calls SetJpSql. The
// window loads when it is first shown or when SetJpSql or ForceSetSql first
// runs. The user's close only hides it; the owner ends it with Unload (or by
// deleting it).
class frmRngSel : public QWidget {
    Q_OBJECT
public:
    explicit frmRngSel(QWidget* parent = nullptr);
    ~frmRngSel() override;

    qint16 mTableNum = 0;
    qint16 mSameTblNum = 1;

    void SetSqlStr(const QString& strRangeStr);
    void SetParent(RngSelOwner* frmParent);
    // Puts `strJpSql` into the text box as ordinary text and translates it
    // now; a valid condition goes to the owner's PutSQLWhere.
    void SetJpSql(const QString& strJpSql);
    // Translates the text as it stands now: the translator's message, empty
    // when the condition was taken; nullopt when it could not run now.
    std::optional<QString> ForceSetSql();
    // The translation of `text` over the window's table, without taking it.
    SqlWhere translate(const QString& text);
    // Closes the window for good (the user's close only hides it).
    void Unload();

    bool isLoaded() const { return mLoaded; }
    // The text of the status bar: the last translation's message.
    QString statusText() const;
    // Where the lookups go; nullptr (the default) is the program's database.
    // Not owned.
    void setLookup(ConditionLookup* lookup);

    void Form_Load();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void lstType_Click();
    void lstDatas_Click();
    void cmdAdd_Click();
    void timInput_Timer();
    void RchCond_UserInput();
    std::optional<QString> translateNow();
    void ensureLoaded();
    bool enterHandler();
    void leaveHandler() { mIdle = true; }
    int selectedType() const;
    int selectedData() const;
    ConditionLookup* lookup() const;
    QString section() const;

    QListWidget* lstType;
    QListView* lstDatas;
    QStringListModel* mDatas;
    QPushButton* cmdAdd;
    CondTextBox* RchCond;
    QTimer* timInput;
    QStatusBar* sbaStatus;
    QLabel* mStatusPanel;

    ColumnDefs mColumns;
    ColumnDefs mForeignColumns;
    int mLastTypeIndex = -1;
    bool mInTypeClick = false;
    bool mInDataClick = false;
    bool mIdle = true;
    bool mLoaded = false;
    bool mUnloading = false;
    RngSelOwner* mParentForm = nullptr;
    QString mRangeStr;
    ConditionLookup* mLookup = nullptr;
    std::unique_ptr<ConditionLookup> mDatabaseLookup;
};
