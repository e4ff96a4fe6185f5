#pragma once
#include <QList>
#include <QRect>
#include <QSize>

class QWidget;

// Windows that fit the screen they open on, and controls that fit their
// captions. The layout rules are pure functions of rectangles; the widget
// helpers below apply them.

// `frame` (a window's outer rectangle) kept on `available`: first shrunk to
// fit, then moved so that no part lies outside. A rectangle already inside
// is returned as it is.
QRect fitRect(const QRect& frame, const QRect& available);

// Designed rectangles (of controls side by side and one above another) laid
// out again with each control at least `needed[i]` large: a control that
// grows pushes the ones that begin to its right (or below it) and overlap
// it in height (or width) along as far as it needs, keeping their designed
// gap up to a few pixels (a wider gap takes the growth).
QList<QRect> growLayout(const QList<QRect>& designed, const QList<QSize>& needed);

// What a control needs to show its text in its font on one line: a button's
// caption, a label's text without wrapping, a box's one line. Never less
// than its designed size in the other direction.
QSize textSize(const QWidget* control);

// Places `controls` at their designed rectangles (in pixels), each grown to
// its text as growLayout does; returns the bottom-right corner reached.
QPoint placeGrown(const QList<QWidget*>& controls, const QList<QRect>& designed);

// Keeps the top-level `window` on the available area of its screen: shrunk
// to fit (its frame counted), moved onto it.
void keepOnScreen(QWidget* window);
// Keeps `window` on its screen each time it is shown.
void fitOnShow(QWidget* window);
