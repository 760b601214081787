#include "album/Choixrecoldir.h"

#include "shell/Dialogs.h"

namespace tunora {

Choixrecoldir::Choixrecoldir(QWidget* parent) : QDialog(parent)
{
    setObjectName("Choixrecoldir");
}

Choixrecoldir::~Choixrecoldir() = default;

void Choixrecoldir::SetMode(int mode)
{
    m_mode = mode;
}

bool ChooseFolder(QWidget* parent, int mode, QString* folder, QString* format)
{
    Choixrecoldir d(parent);
    d.SetMode(mode);
    if (ExecDialog(&d) != QDialog::Accepted)
        return false;
    if (folder)
        *folder = d.deliveredFolder();
    if (format)
        *format = d.deliveredFormat();
    return true;
}

QStringList ChooseAndWalk(QWidget* parent, int mode, const QStringList&)
{
    Choixrecoldir d(parent);
    d.SetMode(mode);
    if (ExecDialog(&d) != QDialog::Accepted)
        return {};
    return d.foundFiles();
}

} // namespace tunora
