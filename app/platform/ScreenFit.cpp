#include "ScreenFit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWidget>
#include <algorithm>

QRect fitRect(const QRect& frame, const QRect& available) {
    if (available.isEmpty()) return frame;
    QRect r = frame;
    r.setWidth(std::min(r.width(), available.width()));
    r.setHeight(std::min(r.height(), available.height()));
    if (r.right() > available.right()) r.moveRight(available.right());
    if (r.bottom() > available.bottom()) r.moveBottom(available.bottom());
    if (r.left() < available.left()) r.moveLeft(available.left());
    if (r.top() < available.top()) r.moveTop(available.top());
    return r;
}

namespace {
bool overlapsVertically(const QRect& a, const QRect& b) {
    return a.top() < b.top() + b.height() && b.top() < a.top() + a.height();
}
bool overlapsHorizontally(const QRect& a, const QRect& b) {
    return a.left() < b.left() + b.width() && b.left() < a.left() + a.width();
}
} // namespace

QList<QRect> growLayout(const QList<QRect>& designed, const QList<QSize>& needed) {
    const qsizetype n = designed.size();
    QList<int> order(n);
    for (qsizetype i = 0; i < n; ++i)
        order[i] = static_cast<int>(i);
    QList<QRect> out(n);
    QList<int> growW(n), growH(n), shiftX(n), shiftY(n);
    for (qsizetype i = 0; i < n; ++i) {
        const QSize want = i < needed.size() ? needed[i] : QSize();
        growW[i] = std::max(0, want.width() - designed[i].width());
        growH[i] = std::max(0, want.height() - designed[i].height());
    }
    // Left to right: a control is pushed along only as far as a grown one
    // before it needs, keeping their designed gap up to a few pixels; a
    // wider gap takes the growth.
    constexpr int Gap = 6;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return designed[a].left() < designed[b].left(); });
    for (int i : order)
        for (int j : order) {
            const int rightJ = designed[j].left() + designed[j].width();
            // before it: ending left of its middle (designs overlap by a hair)
            if (j == i || designed[j].left() >= designed[i].left() ||
                rightJ > designed[i].left() + designed[i].width() / 2 ||
                !overlapsVertically(designed[i], designed[j]))
                continue;
            const int gap = std::min(designed[i].left() - rightJ, Gap);
            const int reach = rightJ + shiftX[j] + growW[j] + gap;
            shiftX[i] = std::max(shiftX[i], reach - designed[i].left());
        }
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return designed[a].top() < designed[b].top(); });
    for (int i : order)
        for (int j : order) {
            const int bottomJ = designed[j].top() + designed[j].height();
            if (j == i || designed[j].top() >= designed[i].top() ||
                bottomJ > designed[i].top() + designed[i].height() / 2 ||
                !overlapsHorizontally(designed[i], designed[j]))
                continue;
            const int gap = std::min(designed[i].top() - bottomJ, Gap);
            const int reach = bottomJ + shiftY[j] + growH[j] + gap;
            shiftY[i] = std::max(shiftY[i], reach - designed[i].top());
        }
    for (qsizetype i = 0; i < n; ++i)
        out[i] = QRect(designed[i].left() + shiftX[i], designed[i].top() + shiftY[i],
                       designed[i].width() + growW[i], designed[i].height() + growH[i]);
    return out;
}

QSize textSize(const QWidget* w) {
    if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
        // the caption and the button's own margins, not the style's
        // smallest width for a dialog's buttons
        const QFontMetrics fm(b->font());
        const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b);
        const int frame = b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
        return QSize(fm.horizontalAdvance(QString(b->text()).remove(QLatin1Char('&'))) +
                         2 * (margin + frame) + 8,
                     b->sizeHint().height());
    }
    if (const auto* l = qobject_cast<const QLabel*>(w)) {
        const QFontMetrics fm(l->font());
        const QSize text = fm.size(Qt::TextSingleLine, l->text());
        const QMargins m = l->contentsMargins();
        return QSize(text.width() + m.left() + m.right() + 2 * l->margin() + 2,
                     text.height() + m.top() + m.bottom() + 2 * l->margin());
    }
    if (const auto* e = qobject_cast<const QLineEdit*>(w)) return QSize(0, e->sizeHint().height());
    return QSize();
}

QPoint placeGrown(const QList<QWidget*>& controls, const QList<QRect>& designed) {
    QList<QSize> needed;
    needed.reserve(controls.size());
    for (QWidget* c : controls)
        needed << textSize(c);
    const QList<QRect> rects = growLayout(designed, needed);
    QPoint corner;
    for (qsizetype i = 0; i < controls.size(); ++i) {
        controls[i]->setGeometry(rects[i]);
        corner.setX(std::max(corner.x(), rects[i].left() + rects[i].width()));
        corner.setY(std::max(corner.y(), rects[i].top() + rects[i].height()));
    }
    return corner;
}

void keepOnScreen(QWidget* window) {
    if (!window || !window->isWindow()) return;
    QScreen* screen = window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    // the frame the window manager adds (none before the window is mapped)
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    const QRect fitted = fitRect(outer, available);
    if (fitted == outer) return;
    const QRect target = fitted.marginsRemoved(frame);
    const QSize least = window->minimumSize();
    window->setMinimumSize(std::min(least.width(), target.width()),
                           std::min(least.height(), target.height()));
    window->setGeometry(target);
}

namespace {
class FitOnShow : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Show) {
            QPointer<QWidget> w = static_cast<QWidget*>(watched);
            keepOnScreen(w);
            // again when the window manager has framed and placed it, which
            // it does in its own time
            for (int ms : {0, 150, 600})
                QTimer::singleShot(ms, w, [w] { keepOnScreen(w); });
        }
        return false;
    }
};
} // namespace

void fitOnShow(QWidget* window) {
    window->installEventFilter(new FitOnShow(window));
}
