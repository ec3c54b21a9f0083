#pragma once
// The data-folder dialog: the machine's volumes and a folder tree; OK makes the chosen
// folder the data folder for the rest of the run.

#include <QDialog>

class Classroom;
class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QModelIndex;
class QPushButton;
class QTreeView;

class frmOptions : public QDialog {
    Q_OBJECT
public:
    frmOptions(Classroom &classroom, QWidget *owner);

    // Starts on the folder in use: on the drive and folder chosen earlier in this run, or on
    // the process's current folder the first time.
    void Form_Load();
    void ShowOptionsPath();

    // Makes `path` the folder list's current folder, as opening it there would; false when
    // the folder is not in the list (missing, or not a folder).
    bool setCurrentFolder(const QString &path);
    // Picks the volume whose list text is `text`, as choosing it in the list would.
    bool chooseDrive(const QString &text);

    QString optionsPath() const { return m_optionsPath; }
    QString optionsDriveRoot() const { return m_optionsDriveRoot; }
    QComboBox *driveList() const { return m_drive; }
    QCheckBox *rememberBox() const { return m_remember; }
    QTreeView *folderList() const { return m_dir; }

public Q_SLOTS:
    void QuorinOptionFormDrive_Change();
    void QuorinOptionFormDir_Change();
    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    // Escape and the title bar's close button cancel.
    void reject() override;

private:
    void fillDriveList();
    int driveIndexFor(const QString &path) const;
    QString currentFolderPath() const;
    void showVolume(const QString &root);

    Classroom &m_classroom;
    QGroupBox *m_frame = nullptr;
    QComboBox *m_drive = nullptr;
    QTreeView *m_dir = nullptr;
    QFileSystemModel *m_model = nullptr;
    QLabel *m_pathLabel = nullptr;
    QCheckBox *m_remember = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    QString m_optionsPath;
    QString m_optionsDriveRoot;
    int m_shownDrive = -1;
    bool m_loading = false;
};

// A folder as the dialog shows and keeps it: native separators, no separator at the end,
// except that a root keeps what it needs to stay a root ("/" here, "c:" on Windows).
QString optionsFolderText(const QString &path);

// The share a network path lies on ("//server/share" for "\\server\share\2-1"); empty for
// any other path.
QString shareRootOf(const QString &path);
