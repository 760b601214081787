// The folder chooser: one modal dialog for every caller, each in its own mode.
//   1 album browse (folder + format)   2 lister input   3 lister output   4 bulk add folder
//   5 setup playlist folder            6 playlist add folder   7 playlist output   8 burn add folder
#pragma once

#include <QDialog>
#include <QStringList>

namespace tunora {

class Choixrecoldir : public QDialog {
    Q_OBJECT
public:
    explicit Choixrecoldir(QWidget* parent = nullptr);
    ~Choixrecoldir() override;

    void SetMode(int mode);
    int mode() const { return m_mode; }

    // What OK delivered: the folder (modes 1, 2, 3, 5, 7; never ending in "/"), the format
    // name (mode 1), the files found by the walk (modes 4, 6, 8, before the caller's
    // duplicate rule).
    QString deliveredFolder() const { return m_folder; }
    QString deliveredFormat() const { return m_format; }
    QStringList foundFiles() const { return m_found; }

private:
    int m_mode = 1;
    QString m_folder, m_format;
    QStringList m_found;
};

// Opens the chooser in a folder mode; true and the folder (and format) on OK.
bool ChooseFolder(QWidget* parent, int mode, QString* folder, QString* format = nullptr);
// Opens the chooser in a walk mode (4, 6, 8) and answers the files to add: mode 4 skips
// those already in existing, mode 8 those already in existing (the burn list), mode 6
// takes them all. Empty on cancel.
QStringList ChooseAndWalk(QWidget* parent, int mode, const QStringList& existing);

} // namespace tunora
