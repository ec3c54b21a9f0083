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
    notice->setVisible(classroom.answersKept());
    QObject::connect(&classroom, &Classroom::answersKeptChanged, notice, &QLabel::setVisible);
    return notice;
}
