#include "dorvane/Dorvanectrl.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace dorvane {

// Provisional store: one flat file of "root\path\name=value" lines. Replaced by the
// REGEDIT4 store.
struct Dorvanectrl::Private {
    bool stop = false;
    QString pattern;
};

static QString storePath()
{
    const QByteArray env = qgetenv("TUNORA_REGISTRY");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/tunora/registry.reg";
}

static QMap<QString, QString> loadAll()
{
    QMap<QString, QString> m;
    QFile f(storePath());
    if (f.open(QIODevice::ReadOnly)) {
        const auto lines = QString::fromUtf8(f.readAll()).split('\n');
        for (const QString& l : lines) {
            const int eq = l.indexOf('=');
            if (eq > 0)
                m.insert(l.left(eq), l.mid(eq + 1));
        }
    }
    return m;
}

static QString fullKey(qint32 root, const QString& path, const QString& key)
{
    if (root < 0)
        throw RuntimeError(6, "Overflow");
    return (QString::number(root) + "\\" + path + "\\" + key).toLower();
}

Dorvanectrl::Dorvanectrl(QObject* parent) : QObject(parent), d(new Private) {}
Dorvanectrl::~Dorvanectrl() { delete d; }

QString Dorvanectrl::RegistryRead(qint32 RegHKey, const QString& RegPath, const QString& RegKey)
{
    return loadAll().value(fullKey(RegHKey, RegPath, RegKey));
}

void Dorvanectrl::RegistryWrite(qint32 RegHKey, const QString& RegPath, const QString& RegKey, const QString& RegValue)
{
    auto m = loadAll();
    m.insert(fullKey(RegHKey, RegPath, RegKey), RegValue);
    QDir().mkpath(QFileInfo(storePath()).absolutePath());
    QSaveFile f(storePath());
    if (!f.open(QIODevice::WriteOnly))
        return;
    for (auto it = m.cbegin(); it != m.cend(); ++it)
        f.write((it.key() + "=" + it.value() + "\n").toUtf8());
    f.commit();
}

void Dorvanectrl::RegistryWriteBin(qint32, const QString&, const QString&, const QString&) {}
QString Dorvanectrl::RegistryDelete(qint32, const QString&, const QString&) { return {}; }
void Dorvanectrl::savekey(qint32&, QString&) {}
void Dorvanectrl::savestring(qint32&, QString&, QString&, QString&) {}
void Dorvanectrl::savestringBIN(qint32&, QString&, QString&, QString&) {}
void Dorvanectrl::deletestring(qint32&, QString&, QString&) {}
QVariant Dorvanectrl::RegQueryStringValue(qint32, const QString&) { return {}; }
QString Dorvanectrl::StripTerminator(const QString& s)
{
    const int nul = s.indexOf(QChar(0));
    return nul < 0 ? s : s.left(nul);
}
QString Dorvanectrl::LireINI(const QVariant&, const QString&, const QString&, const QString& def) { return def; }
bool Dorvanectrl::EcrireINI(const QVariant&, const QString&, const QString&, const QString&) { return false; }
void Dorvanectrl::FindFiles(const QString&, QString&) {}
bool Dorvanectrl::FindFilesStop() const { return d->stop; }
void Dorvanectrl::setFindFilesStop(bool) { d->stop = true; }
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
