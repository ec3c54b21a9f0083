#pragma once
// The program's own help window: shows the bundled Japanese help pages.

#include <QWidget>

class QTextBrowser;

class HelpViewer : public QWidget {
    Q_OBJECT
public:
    HelpViewer();

    // Loads the help page at `path` (a file or resource path). On failure returns false and
    // describes the error in `error`; the window is left unchanged.
    bool showFile(const QString &path, QString *error);

private:
    QTextBrowser *m_browser = nullptr;
};
