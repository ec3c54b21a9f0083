#include "ui/dialogs/frmclasslist.h"

#include "classroom/classroom.h"
#include "records/classlist.h"
#include "ui/main/geometry.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr qint64 kMaxListFileBytes = 1 << 20;

QPushButton *button(const QString &text, const char *name, QWidget *parent) {
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

frmClassList::frmClassList(Classroom &classroom, QWidget *parent)
    : QDialog(parent), m_classroom(classroom) {
    setObjectName(QStringLiteral("frmClassList"));
    setWindowTitle(QStringLiteral("クラスの名簿"));
    setFont(designFont(10));
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(QStringLiteral("名簿の子どもと、最高連続100点の回数です。"
                                            "名前は、ダブルクリックか F2 で変えられます。"),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_table = new QTableWidget(0, kRosterCells, this);
    m_table->setObjectName(QStringLiteral("ClassListTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("名前"), QStringLiteral("レベル1"),
                                        QStringLiteral("レベル2"), QStringLiteral("レベル3"),
                                        QStringLiteral("チャレンジ")});
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_table->setAccessibleName(QStringLiteral("名簿"));
    layout->addWidget(m_table, 1);

    auto *actions = new QHBoxLayout;
    auto *remove = button(QStringLiteral("けす(&D)..."), "ClassListRemoveCommand", this);
    auto *merge = button(QStringLiteral("ひとつにする(&M)..."), "ClassListMergeCommand", this);
    auto *reset = button(QStringLiteral("回数を0にする(&R)..."), "ClassListResetCommand", this);
    auto *sort = button(QStringLiteral("あいうえお順(&S)"), "ClassListSortCommand", this);
    for (QPushButton *b : {remove, merge, reset, sort})
        actions->addWidget(b);
    actions->addStretch();
    layout->addLayout(actions);

    auto *newLabel = new QLabel(QStringLiteral("新しい名前(&N)：1行に1人。表計算ソフトやテキスト"
                                               "ファイルから、名前の列をはりつけられます。"),
                                this);
    newLabel->setWordWrap(true);
    m_newNames = new QPlainTextEdit(this);
    m_newNames->setObjectName(QStringLiteral("ClassListNewNames"));
    m_newNames->setTabChangesFocus(true);
    m_newNames->setMaximumHeight(m_newNames->fontMetrics().lineSpacing() * 6);
    newLabel->setBuddy(m_newNames);
    layout->addWidget(newLabel);
    layout->addWidget(m_newNames);
    auto *adding = new QHBoxLayout;
    auto *add = button(QStringLiteral("名簿に入れる(&A)"), "ClassListAddCommand", this);
    auto *file = button(QStringLiteral("ファイルから読む(&F)..."), "ClassListFileCommand", this);
    adding->addWidget(add);
    adding->addWidget(file);
    adding->addStretch();
    layout->addLayout(adding);

    auto *closed =
        new QCheckBox(QStringLiteral("名簿にない名前では はじめられないようにする(&K)"), this);
    closed->setObjectName(QStringLiteral("ClassListClosedCheck"));
    closed->setChecked(m_classroom.closedClassList());
    connect(closed, &QCheckBox::toggled, this,
            [this](bool on) { m_classroom.setClosedClassList(on); });
    layout->addWidget(closed);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("ClassListMessage"));
    m_message->setTextFormat(Qt::PlainText); // names are shown as they are
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    auto *bottom = new QHBoxLayout;
    auto *back =
        button(QStringLiteral("まえの 名簿に もどす(&B)..."), "ClassListRestoreCommand", this);
    bottom->addWidget(back);
    bottom->addStretch();
    auto *close = button(QStringLiteral("閉じる"), "ClassListCloseCommand", this);
    bottom->addWidget(close);
    layout->addLayout(bottom);

    connect(add, &QPushButton::clicked, this, &frmClassList::addNames);
    connect(file, &QPushButton::clicked, this, &frmClassList::readFile);
    connect(remove, &QPushButton::clicked, this, &frmClassList::removeChosen);
    connect(merge, &QPushButton::clicked, this, &frmClassList::mergeChosen);
    connect(reset, &QPushButton::clicked, this, &frmClassList::resetChosen);
    connect(sort, &QPushButton::clicked, this, &frmClassList::sort);
    connect(back, &QPushButton::clicked, this, &frmClassList::restoreVersion);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    // The rename rebuilds the table, which must not happen inside the edit's commit: it runs
    // once the edit is over, with the row and the text typed.
    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (m_filling || item->column() != 0)
            return;
        const int row = item->row();
        const QString typed = item->text();
        QTimer::singleShot(0, this, [this, row, typed] { rename(row, typed); });
    });
    resize(640, 620);
    showList();
    // A change that would take most of the class off the roster waits for the teacher here,
    // asked once the list is on the screen.
    QTimer::singleShot(0, this, &frmClassList::askHeldDrop);
}

void frmClassList::askHeldDrop() {
    if (const auto drop = m_classroom.heldRosterDrop()) {
        const bool take = confirm(
            QStringLiteral("ほかのパソコンか名簿ファイルの書きかえで、記録のある子ども%1人のうち"
                           "%2人だけが名簿に残る変更がありました。\nこの変更を名簿に書きますか？"
                           "\n\n「いいえ」なら変更をとりけし、このパソコンの名簿を書きもどします。")
                .arg(drop->withRuns)
                .arg(drop->left));
        m_classroom.decideRosterDrop(take);
        showList();
    }
}

void frmClassList::showList() {
    m_pupils = m_classroom.classList();
    m_filling = true;
    m_table->setRowCount(int(m_pupils.size()));
    for (int r = 0; r < m_pupils.size(); ++r) {
        for (int c = 0; c < kRosterCells; ++c) {
            auto *item = new QTableWidgetItem(m_pupils[r][c]);
            if (c > 0) {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            }
            m_table->setItem(r, c, item);
        }
    }
    m_filling = false;
}

void frmClassList::write(const QList<RosterRow> &pupils, const QString &done,
                         const QStringList &refusals,
                         const QList<QPair<QString, QString>> &renamed) {
    const QString problem = m_classroom.setClassList(pupils, renamed);
    showList();
    QStringList lines;
    if (problem.isEmpty())
        lines.append(done);
    else
        lines.append(problem);
    lines += refusals;
    lines.removeAll(QString());
    m_message->setText(lines.join(u'\n'));
}

void frmClassList::addNames() {
    const QStringList names = pastedNames(m_newNames->toPlainText());
    if (names.isEmpty())
        return;
    const ClassListChange change = addPupils(m_pupils, names);
    // Names not taken stay in the box, to be mended.
    QStringList left = names;
    for (const QString &added : change.done)
        left.removeOne(added);
    m_newNames->setPlainText(left.join(u'\n'));
    write(change.pupils,
          change.done.isEmpty()
              ? QString()
              : QStringLiteral("%1人を名簿に入れました。").arg(change.done.size()),
          change.refusals);
}

void frmClassList::readFile() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("名前の一覧を読む"),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
        QStringLiteral("テキストファイル (*.txt *.csv);;すべてのファイル (*)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxListFileBytes) {
        m_message->setText(QStringLiteral("このファイルは読めません（1 MB まで）。"));
        return;
    }
    m_newNames->setPlainText(
        pastedNames(classListFileText(file.read(kMaxListFileBytes))).join(u'\n'));
}

void frmClassList::rename(int row, const QString &typed) {
    if (row < 0 || row >= m_pupils.size() || m_pupils[row][0] == typed)
        return;
    const QString from = m_pupils[row][0];
    const ClassListChange change = renamePupil(m_pupils, row, typed);
    if (change.done.isEmpty() || change.done.first() == from) {
        showList();
        m_message->setText(change.refusals.join(u'\n'));
        return;
    }
    const QString to = change.done.first();
    write(change.pupils, QStringLiteral("「%1」を「%2」にしました。").arg(from, to), {},
          {{from, to}});
}

QList<int> frmClassList::chosenRows() const {
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool frmClassList::confirm(const QString &text) {
    QMessageBox box(QMessageBox::Question, windowTitle(), text, QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void frmClassList::removeChosen() {
    const QList<int> rows = chosenRows();
    if (rows.isEmpty())
        return;
    QStringList names;
    for (int r : rows)
        names.append(m_pupils[r][0]);
    if (!confirm(QStringLiteral("名簿からけします：%1\n回数も消えます。よろしいですか？")
                     .arg(names.join(QStringLiteral("、")))))
        return;
    QList<RosterRow> pupils = m_pupils;
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        pupils.removeAt(*it);
    write(pupils, QStringLiteral("%1人をけしました。").arg(rows.size()), {});
}

void frmClassList::mergeChosen() {
    const QList<int> rows = chosenRows();
    if (rows.size() != 2) {
        m_message->setText(QStringLiteral("ひとつにする2人をえらんでください。"));
        return;
    }
    const QString keep = m_pupils[rows[0]][0], other = m_pupils[rows[1]][0];
    if (!confirm(QStringLiteral("「%1」を「%2」にまとめます（回数は大きいほう）。"
                                "「%1」は名簿から消えます。よろしいですか？")
                     .arg(other, keep)))
        return;
    write(mergePupils(m_pupils, rows[0], rows[1]),
          QStringLiteral("「%1」を「%2」にまとめました。").arg(other, keep), {}, {{other, keep}});
}

void frmClassList::resetChosen() {
    const QList<int> rows = chosenRows();
    if (rows.isEmpty())
        return;
    QStringList names;
    QList<RosterRow> pupils = m_pupils;
    for (int r : rows) {
        names.append(pupils[r][0]);
        for (int c = 1; c < kRosterCells; ++c)
            pupils[r][c] = QStringLiteral("0");
    }
    if (!confirm(QStringLiteral("回数を0にします：%1\nよろしいですか？")
                     .arg(names.join(QStringLiteral("、")))))
        return;
    write(pupils, QStringLiteral("%1人の回数を0にしました。").arg(rows.size()), {});
}

void frmClassList::sort() {
    write(sortedByReading(m_pupils),
          QStringLiteral("あいうえお順にしました（漢字の名前は、よみがわからないので最後です）。"),
          {});
}

void frmClassList::restoreVersion() {
    const QList<RosterVersion> versions = m_classroom.rosterVersions();
    if (versions.isEmpty()) {
        m_message->setText(QStringLiteral("このコンピューターには、まえの名簿がまだありません。"));
        return;
    }
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QStringList items;
    for (const RosterVersion &v : versions)
        items.append(QStringLiteral("%1　%2人（記録のある子 %3人）")
                         .arg(japanese.toString(v.when, QStringLiteral("M月d日(ddd) H:mm:ss")))
                         .arg(v.pupils)
                         .arg(v.withRuns));
    QDialog ask(this);
    ask.setObjectName(QStringLiteral("ClassListVersionDialog"));
    ask.setWindowTitle(QStringLiteral("まえの名簿にもどす"));
    auto *layout = new QVBoxLayout(&ask);
    auto *label = new QLabel(QStringLiteral("このコンピューターが読んだり書いたりした名簿です"
                                            "（新しい順）。もどす名簿をえらんでください(&L)："),
                             &ask);
    auto *list = new QListWidget(&ask);
    list->setObjectName(QStringLiteral("ClassListVersions"));
    list->addItems(items);
    list->setCurrentRow(0);
    label->setBuddy(list);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    connect(list, &QListWidget::itemActivated, &ask, &QDialog::accept);
    layout->addWidget(label);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    ask.resize(520, 360);
    if (ask.exec() != QDialog::Accepted)
        return;
    const int chosen = list->currentRow();
    if (chosen < 0 ||
        !confirm(QStringLiteral("%1 の名簿にもどします。\n今の名簿にいない子どもが、そのときの"
                                "回数でもどります。今の名簿の子どもと回数は、そのまま残ります。")
                     .arg(items[chosen].section(u'　', 0, 0))))
        return;
    const QString problem = m_classroom.restoreRosterVersion(versions[chosen].fileName);
    showList();
    m_message->setText(
        problem.isEmpty()
            ? QStringLiteral("%1 の名簿にもどしました。").arg(items[chosen].section(u'　', 0, 0))
            : problem);
}
