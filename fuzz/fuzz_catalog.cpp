// The catalog over any INI bytes: the table list, then the column definitions
// of every table. A table is either refused with a message or loaded with
// every grid position used exactly once.
#include "Catalog.h"
#include "FakeDialogs.h"
#include "FuzzSupport.h"
#include "modMorvi.h"

#include <QApplication>
#include <vector>

namespace {
using fuzz::check;

// Whether the grid columns of a loaded table are 0..n+k-1, each used once,
// and the links between the two arrays point at each other.
void checkLoaded(const ColumnDefs& cols, const ColumnDefs& foreign, const QString& section) {
    const int n = static_cast<int>(cols.size()) - 1;
    check(n >= 0 && !foreign.isEmpty(), "a loaded table has both arrays", section);
    int k = 0;
    for (int i = 1; i <= n; ++i)
        if (IsForeignColumn(cols[i])) ++k;
    check(foreign.size() == (k == 0 ? 1 : k + 1), "one foreign entry per foreign column", section);
    std::vector<int> used(static_cast<size_t>(n + k), 0);
    auto use = [&](int x) {
        check(x >= 0 && x < n + k, "a grid position inside the grid", section);
        check(used[static_cast<size_t>(x)]++ == 0, "a grid position used once", section);
    };
    for (int i = 1; i <= n; ++i) {
        use(cols[i].ipointx);
        check(!cols[i].FieldName.isEmpty(), "a loaded column has a field name", section);
        if (IsForeignColumn(cols[i])) {
            const int j = cols[i].LinkIndex;
            check(j >= 1 && j <= k && foreign[j].LinkIndex == i, "foreign links agree", section);
        }
    }
    for (int j = 1; j <= k; ++j)
        use(foreign[j].ipointx);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "fuzz_catalog";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    static FakeDialogs quiet; // messages are recorded, never shown
    modMorvi::strIniPath = fuzz::scratchPath("catalog");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::writeFile(modMorvi::strIniPath, data, size);
    delete modMorvi::objPublic;
    modMorvi::objPublic = new clsPublic;
    static_cast<FakeDialogs&>(dialogs()).clear();
    LoadTableList();
    const int tables = modMorvi::objPublic->TableNumber();
    check(tables >= 1, "the table list has at least one entry");
    // Every table of a small file; a file of thousands of one-line sections
    // is the bad-input test's, not worth the fuzzer's time.
    for (int t = 1; t <= std::min(tables, 64); ++t) {
        const QString section = modMorvi::objPublic->TableSection(static_cast<qint16>(t));
        GetTableJPName(section);
        ColumnDefs cols, foreign;
        auto& shown = static_cast<FakeDialogs&>(dialogs());
        const qsizetype before = shown.shown.size();
        if (LoadColumnDefs(static_cast<qint16>(t), cols, foreign) == 0) {
            check(shown.shown.size() == before, "a loaded table shows no message", section);
            checkLoaded(cols, foreign, section);
        } else {
            check(cols.isEmpty() && foreign.isEmpty(), "a refused table leaves no columns",
                  section);
            check(shown.shown.size() == before + 1, "a refused table is explained once", section);
        }
    }
    return 0;
}
