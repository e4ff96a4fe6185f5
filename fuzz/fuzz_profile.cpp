// The INI reader and writer over any bytes as a file: the section list, keys
// and defaults under every buffer size, and a key written into the file.
#include "FuzzSupport.h"
#include "Profile.h"

#include <QCoreApplication>
#include <QStringEncoder>
#include <QStringList>
#include <cstring>

namespace {
using fuzz::check;

const QChar Nul(0);

// The names of a section list: each ended by NUL, the list by one more.
QStringList namesOf(const QString& list) {
    check(list.endsWith(Nul), "a section list ends with NUL", list);
    QStringList names = list.chopped(1).split(Nul);
    names.removeLast();
    return names;
}

// A result cut to a buffer is the start of the whole result.
void checkCut(const QString& whole, const QString& cut, int buffer, const char* what) {
    const QByteArray w = Profile::toCp932(whole), c = Profile::toCp932(cut);
    check(c.size() <= buffer, what, cut);
    check(w.startsWith(c), what, cut);
}

QString asciiWord(fuzz::Tail& tail, int maxLength) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const int n = static_cast<int>(tail.byte() % (maxLength + 1));
    QString w = QStringLiteral(""); // empty, never null: a null value deletes
    for (int i = 0; i < n; ++i)
        w += QLatin1Char(letters[tail.byte() % (sizeof(letters) - 1)]);
    return w;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "fuzz_profile";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = fuzz::scratchPath("profile");
    fuzz::writeFile(path, data, size);
    fuzz::Tail tail(data, size);
    const QString def = QStringLiteral("DEF");

    const QString all = Profile::GetString({}, {}, def, Profile::Unlimited, path);
    const QStringList names = namesOf(all);
    // the list under a smaller buffer: cut without splitting a character,
    // and closed with two NULs (one for a file without sections)
    const int buffer = 2 + static_cast<int>(tail.byte());
    const QString cut = Profile::GetString({}, {}, def, buffer, path);
    if (names.isEmpty()) {
        check(cut == QString(Nul), "no sections list as one NUL", cut);
    } else {
        check(cut.endsWith(QString(2, Nul)), "a cut section list ends with two NULs", cut);
        checkCut(all, cut.chopped(2), buffer - 1, "a cut section list is the start of the list");
    }

    // A key of a listed section (or of none): its value, or the default,
    // cut to the buffer; a key can never hold "=", so that one is missing.
    // A name may be empty, never null: a null section asks for the list. In
    // a file with NUL bytes the list's parts are no names.
    const bool hasNul = std::memchr(data, 0, size) != nullptr;
    QString section =
        names.isEmpty() || hasNul ? QStringLiteral("s") : names.value(tail.byte() % names.size());
    if (section.isNull()) section = QStringLiteral("");
    const QString key = QStringLiteral("COL( 01 )") + asciiWord(tail, 2);
    const QString value = Profile::GetString(section, key, def, Profile::Unlimited, path);
    check(!value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')),
          "a value is one line", value);
    const int keyBuffer = 1 + static_cast<int>(tail.byte() % 40);
    const QString short_ = Profile::GetString(section, key, def, keyBuffer, path);
    checkCut(value, short_, keyBuffer - 1, "a value cut to the buffer is the start of the value");
    check(Profile::GetString(section, QStringLiteral("no=key"), def, 255, path) == def,
          "a missing key gives the default");
    check(Profile::GetString(section, key, def, 0, path).isEmpty(), "no buffer, no result");

    // One input in four also writes: the key reads back as written, and the
    // section list keeps every name, in order.
    if (tail.byte() % 4 != 0) return 0;
    const QString newValue = asciiWord(tail, 8);
    const QString target = tail.byte() % 2 ? section : QStringLiteral("new") + asciiWord(tail, 3);
    if (!Profile::WriteString(target, key, newValue, path)) {
        // only text the file cannot hold is refused
        QStringEncoder enc("CP932");
        const QByteArray bytes = enc.encode(target);
        check(enc.hasError() || Profile::fromCp932(bytes) != target, "a writable key is written",
              target);
        return 0;
    }
    check(Profile::GetString(target, key, def, Profile::Unlimited, path) == newValue,
          "a written key reads back", target + QLatin1Char('|') + key);
    const QStringList after = namesOf(Profile::GetString({}, {}, def, Profile::Unlimited, path));
    check(after.mid(0, names.size()) == names, "writing a key keeps every section name",
          after.join(QLatin1Char('|')));
    if (target != section)
        check(Profile::GetString(section, key, def, Profile::Unlimited, path) == value ||
                  section.compare(target, Qt::CaseInsensitive) == 0,
              "writing into one section leaves another as it was", section);
    return 0;
}
