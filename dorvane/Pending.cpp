#include "dorvane/ControlPrivate.h"

#include <QDialog>

namespace dorvane {
int detail::ExecDialog(QDialog& dialog) { return dialog.exec(); }
void Dorvanectrl::FindFiles(const QString&, QString&) {}
bool Dorvanectrl::FindFilesStop() const { return d->stopRequested; }
void Dorvanectrl::setFindFilesStop(bool) { d->stopRequested = true; d->searching = false; }
QString Dorvanectrl::OuvreFichier(qint32&, qint32&, QString&, QString&, QString&, QString&) { return {}; }
QString Dorvanectrl::SauveFichier(qint32&, qint32&, QString&, QString&, QString&, QString&) { return {}; }
QString Dorvanectrl::DossierSpecial(qint32) { return {}; }
QVariant Dorvanectrl::GetSysDir() { return QString(); }
QVariant Dorvanectrl::Exist(const QString&) { return false; }
void Dorvanectrl::DefautExec(qint32, QString&) {}
void Dorvanectrl::OpenURL(qint32, QString&, bool&) {}
qint32 Dorvanectrl::vbSetWindowPos(qint32, qint32&) { return 0; }
QString Dorvanectrl::Associate() const { return {}; }
void Dorvanectrl::setAssociate(const QString&) {}
bool Dorvanectrl::IsConnected() { return false; }
QString Dorvanectrl::GetInternalIp() { return {}; }
QVariant Dorvanectrl::GetExternalIp() { return QString(); }
QVariant Dorvanectrl::Invoke(qint32, QVariantList&) { throw RuntimeError(438, "Object doesn't support this property or method"); }
} // namespace dorvane
