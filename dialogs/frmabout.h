#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// The program file's full path from its folder and file name, with one separator
// between them whether or not the folder already ends with one.
QString ExecutableFilePath(const QString &sFolder, const QString &sName);

// The About window: description, version and the program file's date.
class frmAbout : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char *kCaption = "About kv7320 Evalution Software";

    // sExecutablePath is the program file whose date is shown; empty means the running
    // program's own file.
    explicit frmAbout(QWidget *owner = nullptr, const QString &sExecutablePath = QString());

protected:
    // Esc and Enter close the window, as they close an information box.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *addLabel(const char *sName, int nTop, int nHeight, int nPointSize);
    void load(const QString &sExecutablePath);

    QLabel *Description = nullptr;
    QLabel *RevisionLabel = nullptr;
    QLabel *badpathlabel = nullptr;
    QLabel *UpdateDate = nullptr;
    QLabel *LegalNotice = nullptr;
    QLabel *comments = nullptr;
};
