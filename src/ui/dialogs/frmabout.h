#pragma once
// The program-information box: title, version, description, icon and licence.

#include <QDialog>

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *owner);

    void Form_Load();

public Q_SLOTS:
    void cmdOK_Click();
};

// "ﾊﾞｰｼﾞｮﾝ " followed by major.minor.revision without blanks.
QString versionText(int major, int minor, int revision);
