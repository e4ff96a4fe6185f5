// Input lists: one string array, each column owning a sorted slice of it;
// completion and browsing in the editor search the slice of its column.
#include "FlexGrid.h"
#include "usrFlg.h"

#include <algorithm>

namespace {
GridError subscript() {
    return GridError("Subscript out of range (input list)");
}
} // namespace

void usrFlg::InputClear() {
    strInputDatas.clear();
    iInputIndex.clear();
}

int usrFlg::InputColsNum() const {
    return blnColsSet ? static_cast<int>(iInputIndex.size()) - 1 : 0;
}

void usrFlg::setInputColsNum(int iNum) {
    if (iNum < 0) throw subscript();
    blnColsSet = true;
    iInputIndex.assign(static_cast<size_t>(iNum) + 1, {0, 0, 0});
}

void usrFlg::setInputColMax(int iCol, int iMax) {
    if (iCol < 0 || iCol >= static_cast<int>(iInputIndex.size())) throw subscript();
    iInputIndex[iCol][0] = iMax;
}

int usrFlg::InputSW(int iCol) const {
    if (iCol < 0 || iCol >= static_cast<int>(iInputIndex.size())) throw subscript();
    return iInputIndex[iCol][2];
}

void usrFlg::setInputSW(int iCol, int iSW) {
    if (iCol < 0 || iCol >= static_cast<int>(iInputIndex.size())) throw subscript();
    iInputIndex[iCol][2] = iSW;
}

void usrFlg::setInputMax(int n) {
    strInputDatas.assign(static_cast<size_t>(std::max<int>(n, 1)) + 1, QString());
}

void usrFlg::InputIndexMake() {
    if (strInputDatas.empty()) return;
    int p = 1;
    for (size_t c = 1; c < iInputIndex.size(); ++c) {
        const int count = iInputIndex[c][0];
        iInputIndex[c][0] = p;
        iInputIndex[c][1] = p + count - 1;
        p += count;
    }
}

QString usrFlg::InputCol(int iCol, int iNum) const {
    if (iCol < 0 || iCol >= static_cast<int>(iInputIndex.size())) throw subscript();
    const int i = iInputIndex[iCol][0] + iNum - 1;
    if (i < 1 || i >= static_cast<int>(strInputDatas.size())) throw subscript();
    return strInputDatas[i];
}

void usrFlg::setInputCol(int iCol, int iNum, const QString& sInput) {
    if (iCol < 0 || iCol >= static_cast<int>(iInputIndex.size())) throw subscript();
    const int i = iInputIndex[iCol][0] + iNum - 1;
    if (i < 1 || i >= static_cast<int>(strInputDatas.size())) throw subscript();
    strInputDatas[i] = sInput;
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
    for (size_t c = 0; c < iInputIndex.size(); ++c) {
        const int start = iInputIndex[c][0], end = iInputIndex[c][1];
        if (iInputIndex[c][2] == 1 && end - start > 0) {
            if (start < 1 || end >= static_cast<int>(strInputDatas.size())) throw subscript();
            QuickSort(strInputDatas, start, end);
        }
    }
}

bool usrFlg::hasList(int col) const {
    return col >= 0 && col < static_cast<int>(iInputIndex.size()) && !strInputDatas.empty() &&
           iInputIndex[col][2] == 1 && iInputIndex[col][0] >= 1 &&
           iInputIndex[col][1] < static_cast<int>(strInputDatas.size());
}

int usrFlg::sliceStart(int col) const {
    return iInputIndex[col][0];
}
int usrFlg::sliceEnd(int col) const {
    return iInputIndex[col][1];
}

int usrFlg::InputSearch(const QString& s, bool exact) const {
    if (!hasList(iEditCol)) return -1;
    const int start = sliceStart(iEditCol);
    int lo = start, hi = sliceEnd(iEditCol);
    if (hi < lo) return -1;
    const int len = s.size();
    auto matches = [&](int i) {
        const QString& v = strInputDatas[i];
        return exact ? v == s : (v.size() >= len && QStringView(v).left(len) == s);
    };
    int r = -1;
    if (lo == hi) {
        if (!exact) r = lo;
    } else {
        while (lo < hi) {
            int d = hi - lo;
            if (d % 2) --d;
            const int h = d / 2;
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
            const QStringView key =
                exact ? QStringView(strInputDatas[mid]) : QStringView(strInputDatas[mid]).left(len);
            if (QStringView(s).compare(key, Qt::CaseSensitive) < 0)
                hi -= h;
            else
                lo += h;
        }
    }
    if (!exact && r != -1)
        while (r - 1 >= start && strInputDatas[r - 1].startsWith(s))
            --r;
    return r;
}

void usrFlg::txt_Change() {
    if (mInChange) {
        // our own assignment below: only remember the length
        iLastLen = mTxt->text().size();
        return;
    }
    mInChange = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{mInChange};

    QString t = mTxt->text();
    if (t.contains(QLatin1Char('\t'))) {
        if (t.startsWith(QLatin1Char('\t'))) t.remove(0, 1);
        if (t.endsWith(QLatin1Char('\t'))) t.chop(1);
        mTxt->setText(t);
    }
    if (t.contains(QStringLiteral("\r\n"))) {
        t.remove(t.indexOf(QStringLiteral("\r\n")), 2);
        mTxt->setText(t);
    }

    if (!blnTyped) {
        iLastLen = mTxt->text().size();
        return;
    }
    t = mTxt->text();
    const int L = t.size();
    const int selStart = mTxt->hasSelectedText() ? mTxt->selectionStart() : mTxt->cursorPosition();
    if (selStart != L || L < iLastLen || L == 0) {
        iLastLen = L;
        return;
    }
    if (hasList(iEditCol)) {
        for (int i = sliceStart(iEditCol); i <= sliceEnd(iEditCol); ++i) {
            const QString& v = strInputDatas[i];
            if (v.size() < L || QStringView(v).left(L) != t) continue;
            if (v.size() > L) {
                mTxt->setText(t + v.mid(L));
                mTxt->setSelection(L, v.size() - L);
            }
            break;
        }
    }
    blnTyped = false;
    iLastLen = mTxt->text().size();
}

void usrFlg::txt_Browse(bool down) {
    if (!hasList(iEditCol)) return;
    const int start = sliceStart(iEditCol), end = sliceEnd(iEditCol);
    const int p0 = mTxt->hasSelectedText() ? mTxt->selectionStart() : mTxt->cursorPosition();
    const QString T = mTxt->text();
    int i = -1;
    QString P;
    if (T.isEmpty()) {
        if (end >= start) i = start;
    } else {
        const QString sel = mTxt->selectedText();
        P = (!sel.isEmpty() && T.endsWith(sel)) ? T.left(mTxt->selectionStart()) : T;
        i = InputSearch(T, true);
        if (i == -1) i = InputSearch(P, false);
        if (i != -1) {
            i += down ? 1 : -1;
            if (i < start || i > end || !strInputDatas[i].startsWith(P)) i = -1;
        }
    }
    if (i != -1) {
        blnTyped = false;
        const QString v = strInputDatas[i];
        mInChange = true;
        mTxt->setText(v);
        mInChange = false;
        const int from = std::min<int>(p0, v.size());
        mTxt->setSelection(from, v.size() - from);
    }
    iLastLen = mTxt->text().size();
}
