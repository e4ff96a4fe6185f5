#pragma once
#include <QString>
#include <QVariant>
#include <QVector>

// Column data types of the catalog.
enum ColumnDataType : qint16 { eInteger = 0, eText = 1, eSmallint = 2 };

// One column of a catalog table, as its INI keys describe it.
struct ColumnDef {
    QString JPName;
    QString FieldName;
    ColumnDataType eDataType = eInteger;
    qint16 ipointx = 0;
    QString GaibuTableName;
    QString GaibuTableColName;
    QString GaibuTableColKey;
    ColumnDataType GaibuTableColeDataType = eInteger;
    qint16 LinkIndex = 0;
    bool Visible = false;
    qint32 CellHeight = 0;
    bool InputPlus = false;
    bool MainKey = false;
    bool NullPermmit = false;
    bool Unique = false;
    qint16 CheckInputTextLength = 0;
};

// Column arrays are indexed from 1; entry 0 is unused (for the foreign display
// array of a table without foreign keys it is the single empty entry). The
// upper bound is size() - 1. A failed load leaves both arrays empty.
using ColumnDefs = QVector<ColumnDef>;

// The table list, read once at start-up.
class clsPublic {
public:
    qint16 TableNumber() const { return static_cast<qint16>(mSections.size() - 1); }
    void setTableNumber(qint16 iSetTableNumber);
    // Throws TamrocError (subscript out of range) outside 1..TableNumber.
    QString TableSection(qint16 iTableNum) const;
    void setTableSection(qint16 iTableNum, const QString& sTableSection);

private:
    QVector<QString> mSections{QString()}; // index 0 unused
};

void LoadTableList();
QString GetTableJPName(const QString& section);
qint16 CountColumns(const QString& section);
// True means failure (no FieldName for column n). Throws TamrocError, naming
// the section and the key, for a value that is not a number or out of range,
// a missing ipointx, GaibuTableName or eDataType, and an unknown type word.
bool ReadColumnDef(ColumnDef& def, int n, const QString& section);
// 0 = loaded, 1 = failed (both arrays erased). A catalog the grid cannot
// hold safely (a faulty key, positions that are not 0..n-1 each used once)
// is refused with a message that names the section and the keys.
qint16 LoadColumnDefs(qint16 tableNumber, ColumnDefs& columns, ColumnDefs& foreignColumns);
// Which foreign tables a window reads: the editor only those whose texts it
// shows (InputPlus); the summary every one, for its classification texts;
// None checks the section's own table only.
enum class ForeignTables { Shown, All, None };
// Whether the database has what the loaded columns name: the table of the
// section with every FieldName, and for each foreign column the window reads
// its table with the display and key columns. Empty when it has (or there
// are no columns to check); else the message, naming the section and the key.
QString CheckColumnsInDatabase(const QString& section, const ColumnDefs& columns,
                               const ColumnDefs& foreignColumns,
                               ForeignTables read = ForeignTables::Shown);
// The same for the one foreign column `column` (1..n) of `columns`: its
// table with the display and key columns. Empty when the database has them
// or the column is no foreign column.
QString CheckForeignColumnInDatabase(const QString& section, const ColumnDefs& columns, int column);
bool IsForeignColumn(const ColumnDef& def);
// Grid text to field value. Throws TamrocError for a text that is not a number.
QVariant ToFieldValue(const QString& text, ColumnDataType dataType);
qint16 CompareFieldValues(const QVariant& a, const QVariant& b, ColumnDataType dataType);

// A profile result up to its first NUL.
QString cutAtNul(const QString& s);
// A field value as grid text: NULL shows as an empty cell.
inline QString FieldText(const QVariant& v) {
    return v.isNull() ? QString() : v.toString();
}
inline bool isNumberType(ColumnDataType t) {
    return t == eInteger || t == eSmallint;
}
// A whole number written plainly (blanks, a sign, up to 18 ASCII digits),
// read without the general conversion; false for anything else.
bool parsePlainInteger(const QString& text, qint64& value);

// "COL( 01 )FieldName" and so on.
QString columnKey(int n, const char* name);
// Whether a grid text counts as a number (blanks around it allowed).
bool isNumericText(const QString& text);
