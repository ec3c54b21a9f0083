#pragma once
// Tabs 2..4: one quiz-level page class, instantiated three times with its parameters.

#include "core/applicationstate.h"

#include <QString>
#include <QWidget>

class frmMain;
class QGroupBox;
class QLabel;
class QPushButton;

struct LevelParams {
    Activity activity;     // Novice, Intermediate or Expert
    QString name;          // "Novice", "Intermediate", "Expert": the control-name infix
    int poolOffset;        // 9, 45, 0
    int poolSize;          // 36, 36, 81
    QString finCaption;    // "レベル1　終了" ...
    bool buttonsInsideFrame;
    int scoreLeftTwips;    // 480 (Intermediate 600)

    static LevelParams novice();
    static LevelParams intermediate();
    static LevelParams expert();
};

class LevelPage : public QWidget {
    Q_OBJECT
public:
    LevelPage(frmMain &main, const LevelParams &params, QWidget *parent);

    const LevelParams &params() const { return m_params; }
    QLabel *streakLabel() const { return m_streakLabel; }

public Q_SLOTS:
    // New question set ("もう一度", entering the tab, sign-in, Fin).
    void retry();
    void fin();
    void bestScore();

Q_SIGNALS:
    void retried();

private:
    QString controlName(const QString &role) const;

    frmMain &m_main;
    LevelParams m_params;
    QGroupBox *m_frame = nullptr;
    QLabel *m_streakLabel = nullptr;
    QPushButton *m_retry = nullptr;
    QPushButton *m_fin = nullptr;
    QPushButton *m_bestScore = nullptr;
};
