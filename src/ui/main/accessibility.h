#pragma once
// What screen readers are told beyond the widgets' own accessible interfaces: the tab strip's
// tabs report whether they can be chosen, and results that appear after grading are named
// in words and announced.

#include <QString>

class QTabBar;
class QWidget;

// Makes the tab strips of the program report a tab that cannot be chosen as disabled (the
// toolkit's own tab interface reports every tab as enabled) and refuse to open it when a
// screen reader presses it. Installed once, before the first window is built.
void installTabStripAccessibility();

// Tells screen readers that tab `index` of `bar` was opened or locked.
void tabSelectabilityChanged(QTabBar *bar, int index);

// Gives `widget` the accessible name `spoken` and tells screen readers that it changed, even
// when the same words come again (a second grading with the same score is news too).
void announce(QWidget *widget, const QString &spoken);
