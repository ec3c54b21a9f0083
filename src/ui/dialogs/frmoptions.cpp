#include "ui/dialogs/frmoptions.h"

#include "classroom/classroom.h"
#include "classroom/factstate.h"
#include "records/datafile.h"
#include "ui/main/geometry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>
#include <algorithm>

QString shareRootOf(const QString &path) {
    const QString clean = QDir::fromNativeSeparators(path);
    if (!clean.startsWith(QStringLiteral("//")))
        return QString();
    const QStringList parts = clean.mid(2).split(u'/', Qt::SkipEmptyParts);
    if (parts.size() < 2)
        return QString();
    return QStringLiteral("//") + parts[0] + u'/' + parts[1];
}

QString optionsFolderText(const QString &path) {
    QString text = QDir::toNativeSeparators(QDir::cleanPath(QDir::fromNativeSeparators(path)));
    const QChar separator = QDir::separator();
    while (text.size() > 1 && text.endsWith(separator))
        text.chop(1);
    return text;
}

frmOptions::frmOptions(Classroom &classroom, QWidget *owner)
    : QDialog(owner), m_classroom(classroom) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("ｵﾌﾟｼｮﾝ"));
    setModal(true);
    setFont(designFont(9));
    // A row below the design's controls holds the teacher's PIN.
    setFixedSize(twipsToPixels(6150), twipsToPixels(6240));

    m_frame = new QGroupBox(QStringLiteral("ファイルの場所を決めてください"), this);
    nameControl(m_frame, QStringLiteral("QuorinOptionFrame"));
    placeInTwips(m_frame, 120, 120, 5895, 3300);

    auto *driveLabel = new QLabel(QStringLiteral("Drive"), m_frame);
    nameControl(driveLabel, QStringLiteral("QuorinOptionFormDriveLabel"));
    placeInTwips(driveLabel, 360, 600, 1080, 330);

    m_drive = new QComboBox(m_frame);
    nameControl(m_drive, QStringLiteral("QuorinOptionFormDrive"));
    placeInTwips(m_drive, 1560, 600, 3255, 360);
    driveLabel->setBuddy(m_drive);

    auto *dirLabel = new QLabel(QStringLiteral("Path"), m_frame);
    nameControl(dirLabel, QStringLiteral("QuorinOptionFormDirLabel"));
    placeInTwips(dirLabel, 360, 1320, 1080, 330);

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setReadOnly(true);
    m_dir = new QTreeView(m_frame);
    nameControl(m_dir, QStringLiteral("QuorinOptionFormDir"));
    placeInTwips(m_dir, 1560, 1320, 3255, 1770);
    m_dir->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_dir->hideColumn(column);
    m_dir->setHeaderHidden(true);
    // Deep folders scroll sideways instead of being cut short.
    m_dir->header()->setStretchLastSection(false);
    m_dir->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_dir->setSelectionMode(QAbstractItemView::SingleSelection);
    dirLabel->setBuddy(m_dir);

    m_pathLabel = new QLabel(this);
    m_pathLabel->setTextFormat(Qt::PlainText);
    nameControl(m_pathLabel, QStringLiteral("QuorinOptionLabel"));
    placeInTwips(m_pathLabel, 240, 3480, 5655, 840);
    m_pathLabel->setWordWrap(true);
    m_pathLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pathLabel->setTextFormat(Qt::PlainText);
    setTextColour(m_pathLabel, Colours::Blue);

    // Off unless the teacher chose a folder for every start earlier: the choice then holds for
    // this run only.
    m_remember = new QCheckBox(QStringLiteral("毎回このフォルダーを使う"), this);
    nameControl(m_remember, QStringLiteral("QuorinOptionRememberCheck"));
    placeInTwips(m_remember, 240, 4380, 2580, 495);
    m_remember->setChecked(!rememberedDataFolder().isEmpty());

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    nameControl(m_ok, QStringLiteral("cmdOK"));
    placeInTwips(m_ok, 2880, 4380, 1335, 495);
    m_ok->setDefault(true);

    m_cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    nameControl(m_cancel, QStringLiteral("cmdCancel"));
    placeInTwips(m_cancel, 4440, 4380, 1335, 495);

    auto *pin = new QPushButton(QStringLiteral("先生の暗証番号(&P)..."), this);
    nameControl(pin, QStringLiteral("QuorinOptionPinCommand"));
    placeInTwips(pin, 240, 4980, 2580, 495);
    pin->setAutoDefault(false);
    auto *pinState = new QLabel(this);
    nameControl(pinState, QStringLiteral("QuorinOptionPinLabel"));
    placeInTwips(pinState, 2880, 4980, 3135, 495);
    pinState->setText(Classroom::teacherPinSet() ? QStringLiteral("暗証番号があります。")
                                                 : QStringLiteral("暗証番号はありません。"));
    connect(pin, &QPushButton::clicked, this, [this, pinState] {
        // Twice, as typed unseen; empty ends the PIN.
        bool ok = false;
        const QString first = QInputDialog::getText(
            this, QStringLiteral("先生の暗証番号"),
            QStringLiteral("新しい暗証番号（空にすると、暗証番号をやめます）："),
            QLineEdit::Password, QString(), &ok);
        if (!ok)
            return;
        const QString again =
            first.isEmpty() ? first
                            : QInputDialog::getText(this, QStringLiteral("先生の暗証番号"),
                                                    QStringLiteral("もういちど入れてください："),
                                                    QLineEdit::Password, QString(), &ok);
        if (!ok)
            return;
        if (again != first) {
            pinState->setText(QStringLiteral("2回の暗証番号がちがいます。"));
            return;
        }
        Classroom::setTeacherPin(first);
        pinState->setText(first.isEmpty() ? QStringLiteral("暗証番号をやめました。")
                                          : QStringLiteral("暗証番号を決めました。"));
    });

    // How quickly a right answer must come for the fact to count as known (the pupils' map,
    // the weak-facts practice, the class sheet).
    auto *limitLabel = new QLabel(QStringLiteral("おぼえた九九の時間(&T)："), this);
    placeInTwips(limitLabel, 240, 5580, 2580, 495);
    auto *limit = new QComboBox(this);
    nameControl(limit, QStringLiteral("QuorinOptionFactLimitCombo"));
    placeInTwips(limit, 2880, 5580, 2895, 420);
    limitLabel->setBuddy(limit);
    for (int ms : kFactLimitsMs)
        limit->addItem(ms ? QStringLiteral("%1秒以内に正解").arg(ms / 1000)
                          : QStringLiteral("時間は見ない"),
                       ms);
    limit->setCurrentIndex(limit->findData(Classroom::factLimitMs()));
    connect(limit, &QComboBox::activated, this,
            [limit] { Classroom::setFactLimitMs(limit->currentData().toInt()); });

    setTabOrder(m_drive, m_dir);
    setTabOrder(m_dir, m_remember);
    setTabOrder(m_remember, m_ok);
    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, pin);
    setTabOrder(pin, limit);

    fillDriveList();
    connect(m_drive, &QComboBox::activated, this, &frmOptions::QuorinOptionFormDrive_Change);
    connect(m_dir->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &frmOptions::QuorinOptionFormDir_Change);
    connect(m_ok, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(m_cancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
}

void frmOptions::fillDriveList() {
    QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    std::sort(volumes.begin(), volumes.end(), [](const QStorageInfo &a, const QStorageInfo &b) {
        return a.rootPath() < b.rootPath();
    });
    QStringList roots;
    for (const QStorageInfo &volume : volumes) {
        const QString root = volume.rootPath();
        // Only volumes that are folders (a container may mount single files too), each once.
        if (!volume.isValid() || roots.contains(root) || !QFileInfo(root).isDir())
            continue;
        roots.append(root);
        QString text = QDir::toNativeSeparators(root);
        if (!volume.name().isEmpty())
            text += QStringLiteral(" [") + volume.name() + QLatin1Char(']');
        m_drive->addItem(text, root);
    }
    // A share the program runs from or keeps its data on is no drive of this computer, but the
    // teacher must reach its other folders: it joins the list as its own "drive".
    for (const QString &path : {m_classroom.state().DataFolder, QDir::currentPath()}) {
        const QString share = shareRootOf(path);
        if (share.isEmpty() || roots.contains(share, Qt::CaseInsensitive) ||
            !QFileInfo(share).isDir())
            continue;
        roots.append(share);
        m_drive->addItem(QDir::toNativeSeparators(share), share);
    }
}

int frmOptions::driveIndexFor(const QString &path) const {
    // The volume holding the path: its own mount point, else the longest root it lies under.
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    const QString own = QStorageInfo(clean).rootPath();
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < m_drive->count(); ++i) {
        const QString root = m_drive->itemData(i).toString();
        if (root == own)
            return i;
        const QString prefix = root.endsWith(u'/') ? root : root + u'/';
        if ((clean == root || clean.startsWith(prefix, Qt::CaseInsensitive)) &&
            root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

void frmOptions::showVolume(const QString &root) {
    // The model lists (and watches) the folders below its root path only; without it the
    // tree would hold nothing but the way down to the current folder.
    if (m_model->rootPath() != root)
        m_model->setRootPath(root);
}

QString frmOptions::currentFolderPath() const {
    return m_model->filePath(m_dir->currentIndex());
}

void frmOptions::Form_Load() {
    ApplicationState &s = m_classroom.state();
    m_optionsPath = s.DataFolder;
    if (!s.OptionsDrive.isEmpty()) {
        chooseDrive(s.OptionsDrive);
        setCurrentFolder(s.DataFolder + QDir::separator());
    } else {
        // First use in this run: both lists start on the process's current drive and folder,
        // without counting as a choice.
        m_loading = true;
        const QString current = QDir::currentPath();
        const int drive = driveIndexFor(current);
        if (drive >= 0) {
            m_drive->setCurrentIndex(drive);
            m_optionsDriveRoot = QDir::toNativeSeparators(m_drive->itemData(drive).toString());
        }
        m_shownDrive = m_drive->currentIndex();
        setCurrentFolder(current);
        m_loading = false;
    }
    ShowOptionsPath();
}

void frmOptions::ShowOptionsPath() {
    m_pathLabel->setText(QStringLiteral("ファイルの場所：") + m_optionsPath);
}

bool frmOptions::chooseDrive(const QString &text) {
    const int index = m_drive->findText(text);
    if (index < 0)
        return false;
    m_drive->setCurrentIndex(index);
    QuorinOptionFormDrive_Change();
    return m_drive->currentIndex() == index;
}

bool frmOptions::setCurrentFolder(const QString &path) {
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    if (!QFileInfo(clean).isDir())
        return false;
    const QModelIndex index = m_model->index(clean);
    if (!index.isValid())
        return false;
    // The drive list follows a folder that lies on another volume.
    const int drive = driveIndexFor(clean);
    if (drive >= 0 && drive != m_drive->currentIndex()) {
        m_drive->setCurrentIndex(drive);
        m_shownDrive = drive;
        m_optionsDriveRoot = QDir::toNativeSeparators(m_drive->itemData(drive).toString());
    }
    if (drive >= 0)
        showVolume(m_drive->itemData(drive).toString());
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        m_dir->expand(up);
    m_dir->setCurrentIndex(index);
    m_dir->scrollTo(index);
    return true;
}

void frmOptions::QuorinOptionFormDrive_Change() {
    const int index = m_drive->currentIndex();
    if (index < 0)
        return;
    const QString root = m_drive->itemData(index).toString();
    const bool ready = shareRootOf(root).isEmpty() ? QStorageInfo(root).isReady() : true;
    if (!ready || !QFileInfo(root).isDir()) {
        // A drive that is not ready: the previous drive and folder stay.
        m_drive->setCurrentIndex(m_shownDrive);
        m_classroom.tell(Notice::Warning, windowTitle(),
                         QStringLiteral("ドライブ %1 は使えません。"
                                        "準備ができていないようです。\n"
                                        "前のドライブとフォルダーのままです。")
                             .arg(m_drive->itemText(index)));
        return;
    }
    m_shownDrive = index;
    showVolume(root);
    m_optionsDriveRoot = QDir::toNativeSeparators(root);
    m_classroom.state().OptionsDrive = m_drive->currentText();
    m_optionsPath = optionsFolderText(root);
    setCurrentFolder(root);
    ShowOptionsPath();
}

void frmOptions::QuorinOptionFormDir_Change() {
    if (m_loading || !m_dir->currentIndex().isValid())
        return;
    m_classroom.state().OptionsDrive = m_drive->currentText();
    m_optionsPath = optionsFolderText(currentFolderPath());
    ShowOptionsPath();
}

void frmOptions::cmdOK_Click() {
    const QString before = m_classroom.state().DataFolder;
    const QString problem = m_classroom.useDataFolder(m_optionsPath);
    if (!problem.isEmpty()) {
        // The folder in use stays; the dialog stays open for another choice or Cancel.
        m_classroom.tell(Notice::Warning, windowTitle(),
                         QStringLiteral("このフォルダーは使えません。\n\nフォルダー：") +
                             m_optionsPath + QStringLiteral("\n理由：") + problem +
                             QStringLiteral("\n\n今までのフォルダー（") + before +
                             QStringLiteral("）をそのまま使います。"));
        return;
    }
    rememberDataFolder(m_remember->isChecked() ? m_optionsPath : QString());
    accept();
}

void frmOptions::cmdCancel_Click() {
    QDialog::reject();
}

void frmOptions::reject() {
    cmdCancel_Click();
}
