// Input lists: one string array, each column owning a sorted slice of it;
// completion and browsing in the editor search the slice of its column.
#include "FlexGrid.h"
#include "usrFlg.h"
#include "usrFlg_p.h"

#include <algorithm>

namespace {
GridError subscript() {
    return GridError("Subscript out of range (input list)");
}
} // namespace

void usrFlg::InputClear() {
    d->strInputDatas.clear();
    d->iInputIndex.clear();
}

int usrFlg::InputColsNum() const {
    return d->blnColsSet ? static_cast<int>(d->iInputIndex.size()) - 1 : 0;
}

void usrFlg::setInputColsNum(int iNum) {
    if (iNum < 0) throw subscript();
    d->blnColsSet = true;
    d->iInputIndex.assign(static_cast<size_t>(iNum) + 1, {0, 0, 0});
}

void usrFlg::setInputColMax(int iCol, int iMax) {
    if (iCol < 0 || iCol >= static_cast<int>(d->iInputIndex.size())) throw subscript();
    d->iInputIndex[iCol][0] = iMax;
}

int usrFlg::InputSW(int iCol) const {
    if (iCol < 0 || iCol >= static_cast<int>(d->iInputIndex.size())) throw subscript();
    return d->iInputIndex[iCol][2];
}

void usrFlg::setInputSW(int iCol, int iSW) {
    if (iCol < 0 || iCol >= static_cast<int>(d->iInputIndex.size())) throw subscript();
    d->iInputIndex[iCol][2] = iSW;
}

void usrFlg::setInputMax(int n) {
    d->strInputDatas.assign(static_cast<size_t>(std::max<int>(n, 1)) + 1, QString());
}

void usrFlg::InputIndexMake() {
    if (d->strInputDatas.empty()) return;
    int p = 1;
    for (size_t c = 1; c < d->iInputIndex.size(); ++c) {
        const int count = d->iInputIndex[c][0];
        d->iInputIndex[c][0] = p;
        d->iInputIndex[c][1] = p + count - 1;
        p += count;
    }
}

QString usrFlg::InputCol(int iCol, int iNum) const {
    if (iCol < 0 || iCol >= static_cast<int>(d->iInputIndex.size())) throw subscript();
    const int i = d->iInputIndex[iCol][0] + iNum - 1;
    if (i < 1 || i >= static_cast<int>(d->strInputDatas.size())) throw subscript();
    return d->strInputDatas[i];
}

void usrFlg::setInputCol(int iCol, int iNum, const QString& sInput) {
    if (iCol < 0 || iCol >= static_cast<int>(d->iInputIndex.size())) throw subscript();
    const int i = d->iInputIndex[iCol][0] + iNum - 1;
    if (i < 1 || i >= static_cast<int>(d->strInputDatas.size())) throw subscript();
    d->strInputDatas[i] = sInput;
}

// Ordinal order of UTF-16 code units, the order the search relies on. Equal
// values are indistinguishable, so any correct sort gives the same slice; a
// library sort keeps long lists of repeated values fast.
void usrFlg::QuickSort(std::vector<QString>& list, int lo, int hi) {
    if (lo >= hi) return;
    std::sort(list.begin() + lo, list.begin() + hi + 1, [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
}

void usrFlg::SortInputDatas() {
    for (size_t c = 0; c < d->iInputIndex.size(); ++c) {
        const int start = d->iInputIndex[c][0], end = d->iInputIndex[c][1];
        if (d->iInputIndex[c][2] == 1 && end - start > 0) {
            if (start < 1 || end >= static_cast<int>(d->strInputDatas.size())) throw subscript();
            QuickSort(d->strInputDatas, start, end);
        }
    }
}

bool usrFlg::hasList(int col) const {
    return col >= 0 && col < static_cast<int>(d->iInputIndex.size()) && !d->strInputDatas.empty() &&
           d->iInputIndex[col][2] == 1 && d->iInputIndex[col][0] >= 1 &&
           d->iInputIndex[col][1] < static_cast<int>(d->strInputDatas.size());
}

int usrFlg::sliceStart(int col) const {
    return d->iInputIndex[col][0];
}
int usrFlg::sliceEnd(int col) const {
    return d->iInputIndex[col][1];
}

int usrFlg::InputSearch(const QString& s, bool exact) const {
    if (!hasList(d->iEditCol)) return -1;
    const int start = sliceStart(d->iEditCol);
    int lo = start, hi = sliceEnd(d->iEditCol);
    if (hi < lo) return -1;
    const int len = s.size();
    auto matches = [&](int i) {
        const QString& v = d->strInputDatas[i];
        return exact ? v == s : (v.size() >= len && QStringView(v).left(len) == s);
    };
    int r = -1;
    if (lo == hi) {
        if (!exact) r = lo;
    } else {
        while (lo < hi) {
            int span = hi - lo;
            if (span % 2) --span;
            const int h = span / 2;
            if (h == 0) {
                if (matches(lo))
                    r = lo;
                else if (matches(lo + 1))
                    r = lo + 1;
                break;
            }
            const int mid = lo + h;
            if (matches(mid)) {
                r = mid;
                break;
            }
            const QStringView key = exact ? QStringView(d->strInputDatas[mid])
                                          : QStringView(d->strInputDatas[mid]).left(len);
            if (QStringView(s).compare(key, Qt::CaseSensitive) < 0)
                hi -= h;
            else
                lo += h;
        }
    }
    if (!exact && r != -1)
        while (r - 1 >= start && d->strInputDatas[r - 1].startsWith(s))
            --r;
    return r;
}

void usrFlg::txt_Change() {
    if (d->mInChange) {
        // our own assignment below: only remember the length
        d->iLastLen = d->mTxt->text().size();
        return;
    }
    d->mInChange = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{d->mInChange};

    QString t = d->mTxt->text();
    if (t.contains(QLatin1Char('\t'))) {
        if (t.startsWith(QLatin1Char('\t'))) t.remove(0, 1);
        if (t.endsWith(QLatin1Char('\t'))) t.chop(1);
        d->mTxt->setText(t);
    }
    if (t.contains(QStringLiteral("\r\n"))) {
        t.remove(t.indexOf(QStringLiteral("\r\n")), 2);
        d->mTxt->setText(t);
    }

    if (!d->blnTyped) {
        d->iLastLen = d->mTxt->text().size();
        return;
    }
    t = d->mTxt->text();
    const int L = t.size();
    const int selStart =
        d->mTxt->hasSelectedText() ? d->mTxt->selectionStart() : d->mTxt->cursorPosition();
    if (selStart != L || L < d->iLastLen || L == 0) {
        d->iLastLen = L;
        return;
    }
    if (hasList(d->iEditCol)) {
        for (int i = sliceStart(d->iEditCol); i <= sliceEnd(d->iEditCol); ++i) {
            const QString& v = d->strInputDatas[i];
            if (v.size() < L || QStringView(v).left(L) != t) continue;
            if (v.size() > L) {
                d->mTxt->setText(t + v.mid(L));
                d->mTxt->setSelection(L, v.size() - L);
            }
            break;
        }
    }
    d->blnTyped = false;
    d->iLastLen = d->mTxt->text().size();
}

void usrFlg::txt_Browse(bool down) {
    if (!hasList(d->iEditCol)) return;
    const int start = sliceStart(d->iEditCol), end = sliceEnd(d->iEditCol);
    const int p0 =
        d->mTxt->hasSelectedText() ? d->mTxt->selectionStart() : d->mTxt->cursorPosition();
    const QString T = d->mTxt->text();
    int i = -1;
    QString P;
    if (T.isEmpty()) {
        if (end >= start) i = start;
    } else {
        const QString sel = d->mTxt->selectedText();
        P = (!sel.isEmpty() && T.endsWith(sel)) ? T.left(d->mTxt->selectionStart()) : T;
        i = InputSearch(T, true);
        if (i == -1) i = InputSearch(P, false);
        if (i != -1) {
            i += down ? 1 : -1;
            if (i < start || i > end || !d->strInputDatas[i].startsWith(P)) i = -1;
        }
    }
    if (i != -1) {
        d->blnTyped = false;
        const QString v = d->strInputDatas[i];
        d->mInChange = true;
        d->mTxt->setText(v);
        d->mInChange = false;
        const int from = std::min<int>(p0, v.size());
        d->mTxt->setSelection(from, v.size() - from);
        // the list follows once the completed part is selected again, so
        // that it still lists by what was typed
        updateChoices();
    }
    d->iLastLen = d->mTxt->text().size();
}
