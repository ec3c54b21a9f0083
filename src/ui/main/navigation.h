#pragma once
// What an activity page asks of the window around it: going back to the sign-in page and
// showing the full-mark list. The pages know nothing else of the main window.

class Navigation {
public:
    // Every tab selectable again, then the sign-in tab selected.
    virtual void ReturnToSignIn() = 0;
    // Opens the full-mark list (modeless, no owner), or brings the open one forward.
    virtual void ShowScoreDialog() = 0;

protected:
    ~Navigation() = default;
};
