#include "ui/dialogs/frmabout.h"

#include "classroom/classroom.h"
#include "ui/main/geometry.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

QString versionText(int major, int minor, int revision) {
    return QStringLiteral("ﾊﾞｰｼﾞｮﾝ ") + QString::number(major) + QLatin1Char('.') +
           QString::number(minor) + QLatin1Char('.') + QString::number(revision);
}

namespace {

QFrame *etchedLine(QWidget *parent, const QString &name, int index, int x1, int y, int x2,
                   const QColor &colour, int widthPixels) {
    auto *line = new QFrame(parent);
    nameArrayControl(line, name, index);
    line->setFrameShape(QFrame::NoFrame);
    line->setGeometry(twipsToPixels(x1), twipsToPixels(y), twipsToPixels(x2 - x1), widthPixels);
    setBackgroundColour(line, colour);
    return line;
}

} // namespace

frmAbout::frmAbout(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報 Pellix"));
    setFont(designFont(9));
    setFixedSize(twipsToPixels(5850), twipsToPixels(2655));

    auto *icon = new QLabel(this);
    nameControl(icon, QStringLiteral("picIcon"));
    // The box grows to the 32 x 32 icon it shows.
    placeInTwips(icon, 240, 240, 540, 540);
    setBackgroundColour(icon, QColor(192, 192, 192));
    icon->setPixmap(pngPixmap(QStringLiteral(":/icons/quorin32.png")));
    icon->setAlignment(Qt::AlignCenter);

    auto *title = new QLabel(QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ ﾀｲﾄﾙ"), this);
    nameControl(title, QStringLiteral("lblTitle"));
    title->setFont(designFont(14, true));
    placeInTwips(title, 1050, 240, 4092, 480);

    auto *version = new QLabel(QStringLiteral("ﾊﾞｰｼﾞｮﾝ"), this);
    nameControl(version, QStringLiteral("lblVersion"));
    placeInTwips(version, 1050, 780, 4092, 225 + 60);

    auto *description = new QLabel(QStringLiteral("小学2年生の算数の授業に使ってください。"), this);
    nameControl(description, QStringLiteral("lblDescription"));
    description->setWordWrap(true);
    placeInTwips(description, 1050, 1125, 4095, 570);

    // The etched separator: a white line and a grey one.
    etchedLine(this, QStringLiteral("Line1"), 0, 240, 1920, 5657, Colours::White, 2);
    etchedLine(this, QStringLiteral("Line1"), 1, 240, 2040, 5672, QColor(128, 128, 128), 1);

    // The terms the program is given under, for the teacher (the full text is in LICENSE, the
    // Debian package's copyright file and the Windows installation's licenses folder).
    auto *disclaimer =
        new QLabel(QStringLiteral("GNU GPL バージョン3 のもとで配布しています"), this);
    nameControl(disclaimer, QStringLiteral("lblDisclaimer"));
    placeInTwips(disclaimer, 255, 2160, 3870, 345);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    nameControl(ok, QStringLiteral("cmdOK"));
    placeInTwips(ok, 4245, 2160, 1467, 345);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    // Esc rejects the dialog, which closes it exactly as OK does.

    Form_Load();
}

void frmAbout::Form_Load() {
    findChild<QLabel *>(QStringLiteral("lblVersion"))->setText(versionText(1, 0, 0));
    findChild<QLabel *>(QStringLiteral("lblTitle"))->setText(applicationTitle());
}

void frmAbout::cmdOK_Click() {
    accept();
}
