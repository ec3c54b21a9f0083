#pragma once
// The line on a pupil's page that says the answers (or the runs) are kept on this computer
// while the answer log (or the data folder) cannot take them. Shown and hidden by the
// classroom model's answersKeptChanged and runsKeptChanged.

class Classroom;
class QLabel;
class QWidget;

#include <QString>

// Adds the line, named `name`, at the top of an activity page.
QLabel *addKeptAnswersNotice(Classroom &classroom, QWidget *page, const QString &name);
