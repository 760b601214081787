// The control object: registry layers over the settings store, INI files and the host hooks.
#include "dorvane/Dorvanectrl.h"

#include "dorvane/ControlPrivate.h"
#include "dorvane/FileIo.h"
#include "dorvane/IniFile.h"
#include "dorvane/RegStore.h"

#include <QCoreApplication>
#include <QHash>
#include <QMutex>

#include <cstdio>

namespace dorvane {

namespace {

constexpr quint32 kPredefinedBase = 0x80000000u;

// An open key: a root and the path below it.
struct KeyRef {
    int root = 0;
    QStringList path;
};

// Handles of opened keys are process-wide, like the platform's.
struct HandleTable {
    QMutex mutex;
    QHash<qint32, KeyRef> keys;
    qint32 next = 0x100;
};

HandleTable& handles()
{
    static HandleTable t;
    return t;
}

std::optional<KeyRef> resolve(qint32 hkey)
{
    const quint32 h = quint32(hkey);
    if (h >= kPredefinedBase && h < kPredefinedBase + store::kRootCount)
        return KeyRef{int(h - kPredefinedBase), {}};
    HandleTable& t = handles();
    QMutexLocker lock(&t.mutex);
    const auto it = t.keys.constFind(hkey);
    if (it == t.keys.constEnd())
        return std::nullopt;
    return *it;
}

// The predefined handle of a root as the host numbers it; a negative root overflows.
qint32 rootHandle(qint32 root)
{
    if (root < 0)
        throw RuntimeError(6, "Overflow");
    return qint32(kPredefinedBase + quint32(root));
}

// The key that path names below hkey, when both can stand in the store.
std::optional<KeyRef> below(qint32 hkey, const QString& path)
{
    std::optional<KeyRef> base = resolve(hkey);
    if (!base)
        return std::nullopt;
    const std::optional<QStringList> parts = store::SplitKeyPath(path);
    if (!parts)
        return std::nullopt;
    base->path += *parts;
    return base;
}

void setValue(qint32 hkey, const QString& path, const QString& name, quint32 type, const QByteArray& data)
{
    const std::optional<KeyRef> key = below(hkey, path);
    if (!key || !store::ValidValueName(name))
        return;
    store::Modify([&](store::RegDocument& doc) { doc.createKey(key->root, key->path).setValue(name, type, data); });
}

MessageHandler& messageHandler()
{
    static MessageHandler h = [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    return h;
}

DialogRunner& dialogRunner()
{
    static DialogRunner r;
    return r;
}

} // namespace

namespace detail {

void ShowMessage(const QString& text)
{
    const MessageHandler h = messageHandler();
    if (h)
        h(text);
}

int RunDialog(QDialog& dialog)
{
    const DialogRunner r = dialogRunner();
    return r ? r(dialog) : ExecDialog(dialog);
}

void YieldToHost()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace detail

Dorvanectrl::Dorvanectrl(QObject* parent) : QObject(parent), d(new Private) {}

Dorvanectrl::~Dorvanectrl()
{
    delete d;
}

StoreNoticeHandler Dorvanectrl::SetStoreNoticeHandler(StoreNoticeHandler handler)
{
    return store::SetNoticeHandler(std::move(handler));
}

MessageHandler Dorvanectrl::SetMessageHandler(MessageHandler handler)
{
    MessageHandler old = std::move(messageHandler());
    messageHandler() = std::move(handler);
    return old;
}

DialogRunner Dorvanectrl::SetDialogRunner(DialogRunner runner)
{
    DialogRunner old = std::move(dialogRunner());
    dialogRunner() = std::move(runner);
    return old;
}

QString Dorvanectrl::StorePath()
{
    return store::StorePath();
}

bool Dorvanectrl::StoreUnreadable()
{
    return store::Unreadable();
}

// ----- Registry, high level -------------------------------------------------------------------

QString Dorvanectrl::RegistryRead(qint32 RegHKey, const QString& RegPath, const QString& RegKey)
{
    const qint32 root = rootHandle(RegHKey);
    const qint32 key = RegOpenKey(root, RegPath);
    if (key == 0)
        return QString();
    const QVariant v = RegQueryStringValue(key, RegKey);
    RegCloseKey(key);
    return v.isNull() ? QString() : v.toString();
}

void Dorvanectrl::RegistryWrite(qint32 RegHKey, const QString& RegPath, const QString& RegKey, const QString& RegValue)
{
    qint32 root = rootHandle(RegHKey);
    QString path = RegPath;
    QString name = RegKey;
    QString value = RegValue;
    savestring(root, path, name, value);
}

void Dorvanectrl::RegistryWriteBin(qint32 RegHKey, const QString& RegPath, const QString& RegKey, const QString& RegValue)
{
    qint32 root = rootHandle(RegHKey);
    QString path = RegPath;
    QString name = RegKey;
    QString value = RegValue;
    savestringBIN(root, path, name, value);
}

QString Dorvanectrl::RegistryDelete(qint32 RegHKey, const QString& RegPath, const QString& RegKey)
{
    qint32 root = rootHandle(RegHKey);
    QString path = RegPath;
    QString name = RegKey;
    deletestring(root, path, name);
    return QString();
}

// ----- Registry, low level --------------------------------------------------------------------

qint32 Dorvanectrl::RegOpenKey(qint32 hkey, const QString& strpath)
{
    const std::optional<KeyRef> key = below(hkey, strpath);
    if (!key)
        return 0;
    if (!key->path.isEmpty()) {
        const auto doc = store::Load();
        if (!doc || !doc->findKey(key->root, key->path))
            return 0;
    }
    HandleTable& t = handles();
    QMutexLocker lock(&t.mutex);
    do {
        t.next += 4;
        if (t.next <= 0 || t.next >= 0x40000000)
            t.next = 0x100;
    } while (t.keys.contains(t.next));
    t.keys.insert(t.next, *key);
    return t.next;
}

void Dorvanectrl::RegCloseKey(qint32 hkey)
{
    HandleTable& t = handles();
    QMutexLocker lock(&t.mutex);
    t.keys.remove(hkey);
}

void Dorvanectrl::savekey(qint32& hkey, QString& strpath)
{
    const std::optional<KeyRef> key = below(hkey, strpath);
    if (!key)
        return;
    store::Modify([&](store::RegDocument& doc) { doc.createKey(key->root, key->path); });
}

void Dorvanectrl::savestring(qint32& hkey, QString& strpath, QString& strvalue, QString& strdata)
{
    setValue(hkey, strpath, strvalue, store::REG_SZ, strdata.toUtf8());
}

void Dorvanectrl::savestringBIN(qint32& hkey, QString& strpath, QString& strvalue, QString& strdata)
{
    setValue(hkey, strpath, strvalue, store::REG_BINARY, strdata.toUtf8());
}

void Dorvanectrl::deletestring(qint32& hkey, QString& strpath, QString& strvalue)
{
    const std::optional<KeyRef> key = below(hkey, strpath);
    if (!key)
        return;
    // The key is opened with creation, so a missing path is left behind, empty.
    store::Modify([&](store::RegDocument& doc) { doc.createKey(key->root, key->path).removeValue(strvalue); });
}

QVariant Dorvanectrl::RegQueryStringValue(qint32 hkey, const QString& strValueName)
{
    const std::optional<KeyRef> ref = resolve(hkey);
    if (!ref)
        return QVariant();
    const auto doc = store::Load();
    if (!doc)
        return QVariant();
    const store::RegKey* key = doc->findKey(ref->root, ref->path);
    const store::RegValue* value = key ? key->value(strValueName) : nullptr;
    if (!value || value->type != store::REG_SZ)
        return QVariant();
    return StripTerminator(io::DecodeText(value->data));
}

QString Dorvanectrl::StripTerminator(const QString& strString)
{
    const qsizetype nul = strString.indexOf(QChar(0));
    return nul < 0 ? strString : strString.left(nul);
}

// ----- INI files ------------------------------------------------------------------------------

QString Dorvanectrl::LireINI(const QVariant& fichier, const QString& rubr, const QString& Mcle, const QString& def)
{
    QString text = ini::ReadString(fichier.toString(), rubr, Mcle, def, 255);
    // Only spaces are trimmed here: other blanks were dropped by the read itself.
    qsizetype a = 0;
    qsizetype b = text.size();
    while (a < b && text.at(a) == QChar(' '))
        ++a;
    while (b > a && text.at(b - 1) == QChar(' '))
        --b;
    text = text.mid(a, b - a);
    return text == QLatin1String("vdefaults") ? QString() : text;
}

bool Dorvanectrl::EcrireINI(const QVariant& fichier, const QString& rubr, const QString& Mcle, const QString& koi)
{
    detail::YieldToHost();
    const bool ok = ini::WriteString(fichier.toString(), rubr, Mcle, koi);
    detail::YieldToHost();
    return ok;
}

} // namespace dorvane
