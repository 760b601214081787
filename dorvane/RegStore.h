// The settings store: hierarchical keys under seven roots with typed values, kept in one
// UTF-8 text file in the syntax of a REGEDIT4 export.
#pragma once

#include "dorvane/Dorvanectrl.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace dorvane::store {

enum ValueType : quint32 { REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4 };

// A settings file is a few kilobytes; anything past this is not one.
constexpr qint64 kMaxStoreBytes = 16 * 1024 * 1024;

// Roots by index: 0 CLASSES_ROOT, 1 CURRENT_USER, 2 LOCAL_MACHINE, 3 USERS, 4 PERFORMANCE_DATA,
// 5 CURRENT_CONFIG, 6 DYN_DATA (index = predefined handle - 0x80000000).
constexpr int kRootCount = 7;
DORVANE_EXPORT QString RootName(int root);
DORVANE_EXPORT int RootIndex(const QString& name); // -1 when unknown

// Splits a key path at "\" (empty parts skipped). Fails on a part that cannot stand in the file
// (NUL, CR or LF).
DORVANE_EXPORT std::optional<QStringList> SplitKeyPath(const QString& path);
// Whether a value name can stand in the file.
DORVANE_EXPORT bool ValidValueName(const QString& name);

struct RegValue {
    QString name; // "" = the key's default value
    quint32 type = REG_SZ;
    QByteArray data;
};

struct RegKey {
    int root = 0;
    QStringList path;
    QList<RegValue> values;

    const RegValue* value(const QString& name) const;
    // Answers whether anything changed.
    bool setValue(const QString& name, quint32 type, const QByteArray& data);
    bool removeValue(const QString& name);
};

class DORVANE_EXPORT RegDocument {
public:
    // nullopt with *error set when the bytes are not a settings file.
    static std::optional<RegDocument> Parse(const QByteArray& bytes, QString* error = nullptr);
    QByteArray Serialize() const;

    const RegKey* findKey(int root, const QStringList& path) const;
    // Creates every missing level of the path.
    RegKey& createKey(int root, const QStringList& path);
    int keyCount() const { return int(m_keys.size()); }

private:
    static QString sortKey(int root, const QStringList& path);
    // Ordered so that a key comes right before its subkeys.
    std::map<QString, RegKey> m_keys;
};

// The file of the store: $TUNORA_REGISTRY, else $XDG_CONFIG_HOME/tunora/registry.reg.
DORVANE_EXPORT QString StorePath();

// The current contents of the store; an empty document when there is no file yet, nullptr when
// the file cannot be read or parsed (reported once through the notice handler).
DORVANE_EXPORT std::shared_ptr<const RegDocument> Load();

// Applies change to the current contents under the store's lock and replaces the file when the
// contents changed. A file that cannot be parsed is moved aside first and a fresh store begun;
// one that cannot be read at all is left alone and nothing is written. Answers whether the
// store now holds the change.
DORVANE_EXPORT bool Modify(const std::function<void(RegDocument&)>& change);

// How long a write waits for another program's lock before it fails (10 s); answers the
// previous wait.
DORVANE_EXPORT int SetLockWaitMs(int ms);

// True while the store's file exists but cannot be read or parsed.
DORVANE_EXPORT bool Unreadable();

void Notify(StoreNotice::Kind kind, const QString& path, const QString& detail);
StoreNoticeHandler SetNoticeHandler(StoreNoticeHandler h);

} // namespace dorvane::store
