#include "ui/main/keptnotice.h"

#include "classroom/classroom.h"
#include "ui/main/geometry.h"

#include <QLabel>

QLabel *addKeptAnswersNotice(Classroom &classroom, QWidget *page, const QString &name) {
    auto *notice =
        new QLabel(QStringLiteral("こたえは　この　コンピューターに　とって　あります。"), page);
    nameControl(notice, name);
    notice->setTextFormat(Qt::PlainText);
    // Between the tab strip and the page's message, where nothing else stands.
    placeOnTabPage(notice, 120, 420, 12135, 300);
    notice->setFont(designFont(10, true));
    setTextColour(notice, Colours::Blue);
    // Answers, runs or both kept: the same quiet line, naming what is kept.
    const auto show = [&classroom, notice] {
        const bool answers = classroom.answersKept(), runs = classroom.runsKept();
        notice->setText(
            answers && runs
                ? QStringLiteral("こたえと　きろくは　この　コンピューターに　とって　あります。")
            : runs ? QStringLiteral("きろくは　この　コンピューターに　とって　あります。")
                   : QStringLiteral("こたえは　この　コンピューターに　とって　あります。"));
        notice->setVisible(answers || runs);
    };
    show();
    QObject::connect(&classroom, &Classroom::answersKeptChanged, notice, show);
    QObject::connect(&classroom, &Classroom::runsKeptChanged, notice, show);
    return notice;
}
