// Public interface of the utility control library: settings store, INI files,
// file search, dialogs, shell and network queries.
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <stdexcept>

class QDialog;

#if defined(DORVANE_BUILD)
#define DORVANE_EXPORT Q_DECL_EXPORT
#else
#define DORVANE_EXPORT Q_DECL_IMPORT
#endif

namespace dorvane {

// Registry roots as the host passes them.
enum c_HKey : qint32 { CLASSES_ROOT = 0, CURRENT_USER = 1, LOCAL_MACHINE = 2, USERS = 3 };

// Insert-after values for vbSetWindowPos.
enum vb_Pos : qint32 { HWND_TOP = 0, HWND_TOPMOST = -1, HWND_NOTOPMOST = -2 };

// A run-time error raised to the caller (a negative root raises number 6, "Overflow").
class DORVANE_EXPORT RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const char* what) : std::runtime_error(what), m_number(number) {}
    int number() const { return m_number; }
private:
    int m_number;
};

// What the settings store tells its host, which decides how to show it to the user.
struct StoreNotice {
    enum Kind {
        Unreadable,  // the file exists but cannot be read or parsed; reads answer "" (told once per file)
        MovedAside,  // such a file was renamed to `detail` so that a fresh store could take a new value
        WriteFailed, // a change could not be stored; `detail` says why (told once until a write succeeds)
    };
    Kind kind;
    QString path;
    QString detail;
};
using StoreNoticeHandler = std::function<void(const StoreNotice&)>;
// Shows a failure message of the control (an OK box on the host's side).
using MessageHandler = std::function<void(const QString& text)>;
// Runs a modal dialog of the control and answers its result (QDialog::Accepted or Rejected).
using DialogRunner = std::function<int(QDialog& dialog)>;

// Dispatch identifiers of the control's interface.
namespace dispid {
constexpr qint32 GetSysDir = 0x6003002B;
constexpr qint32 OpenURL = 0x6003002C;
constexpr qint32 DefautExec = 0x6003002D;
constexpr qint32 savekey = 0x6003002E;
constexpr qint32 RegQueryStringValue = 0x6003002F;
constexpr qint32 StripTerminator = 0x60030031;
constexpr qint32 savestring = 0x60030032;
constexpr qint32 savestringBIN = 0x60030033;
constexpr qint32 Exist = 0x60030034;
constexpr qint32 EcrireINI = 0x60030038;
constexpr qint32 LireINI = 0x60030039;
constexpr qint32 IsConnected = 0x6003003A;
constexpr qint32 RegistryRead = 0x6003003C;
constexpr qint32 RegistryWrite = 0x6003003D;
constexpr qint32 RegistryWriteBin = 0x6003003E;
constexpr qint32 DossierSpecial = 0x6003003F;
constexpr qint32 FindFiles = 0x60030040;
constexpr qint32 SauveFichier = 0x60030043;
constexpr qint32 OuvreFichier = 0x60030044;
constexpr qint32 vbSetWindowPos = 0x60030045;
constexpr qint32 GetInternalIp = 0x60030046;
constexpr qint32 GetExternalIp = 0x60030047;
constexpr qint32 deletestring = 0x6003004A;
constexpr qint32 RegistryDelete = 0x6003004F;
constexpr qint32 FindFilesStop = 0x68030028;
constexpr qint32 Associate = 0x68030029;
} // namespace dispid

class DORVANE_EXPORT Dorvanectrl : public QObject {
    Q_OBJECT
public:
    explicit Dorvanectrl(QObject* parent = nullptr);
    ~Dorvanectrl() override;

    // Persisted properties of the instance; nothing consults them.
    QString RegistryHKey = QStringLiteral("1");
    QString RegistryPath;

    // Registry, high level.
    QString RegistryRead(qint32 RegHKey, const QString& RegPath, const QString& RegKey);
    void RegistryWrite(qint32 RegHKey, const QString& RegPath, const QString& RegKey, const QString& RegValue);
    void RegistryWriteBin(qint32 RegHKey, const QString& RegPath, const QString& RegKey, const QString& RegValue);
    QString RegistryDelete(qint32 RegHKey, const QString& RegPath, const QString& RegKey);

    // Host hooks, process-wide; each setter answers the previous hook. Defaults: store notices and
    // messages go to stderr, dialogs run with exec().
    static StoreNoticeHandler SetStoreNoticeHandler(StoreNoticeHandler handler);
    static MessageHandler SetMessageHandler(MessageHandler handler);
    static DialogRunner SetDialogRunner(DialogRunner runner);

    // The settings file in use, and whether it exists but cannot be read or parsed (reads then
    // answer "" until it is mended or a write moves it aside).
    static QString StorePath();
    static bool StoreUnreadable();

    // Registry, low level. A key handle is the root's predefined handle (root + 0x80000000)
    // or a handle returned by the store.
    void savekey(qint32& hkey, QString& strpath);
    void savestring(qint32& hkey, QString& strpath, QString& strvalue, QString& strdata);
    void savestringBIN(qint32& hkey, QString& strpath, QString& strvalue, QString& strdata);
    void deletestring(qint32& hkey, QString& strpath, QString& strvalue);
    QVariant RegQueryStringValue(qint32 hkey, const QString& strValueName);
    QString StripTerminator(const QString& strString);
    // Opens an existing key below a handle without creating it: a handle for RegQueryStringValue
    // and the save operations, or 0 when the key does not exist. Close it with RegCloseKey.
    qint32 RegOpenKey(qint32 hkey, const QString& strpath);
    void RegCloseKey(qint32 hkey);

    // INI files.
    QString LireINI(const QVariant& fichier, const QString& rubr, const QString& Mcle,
                    const QString& def = QString());
    bool EcrireINI(const QVariant& fichier, const QString& rubr, const QString& Mcle, const QString& koi);

    // Files, dialogs, search and shell.
    void FindFiles(const QString& SearchPattern, QString& chemin);
    bool FindFilesStop() const;
    void setFindFilesStop(bool value);
    QString OuvreFichier(qint32& hwnd, qint32& Instance, QString& InitialRep, QString& Filtre,
                         QString& DefExt, QString& Titre);
    QString SauveFichier(qint32& hwnd, qint32& Instance, QString& InitialRep, QString& Filtre,
                         QString& DefExt, QString& Titre);
    QString DossierSpecial(qint32 hwnd);
    QVariant GetSysDir();
    QVariant Exist(const QString& FileName);
    void DefautExec(qint32 hwnd, QString& commande);
    // NewWnd: the command registered under CLASSES_ROOT "htmlfile\shell\open\command" (else
    // xdg-open) is started with url as its last argument; one that cannot start raises
    // RuntimeError(53). Otherwise as DefautExec.
    void OpenURL(qint32 hwnd, QString& url, bool& NewWnd);
    qint32 vbSetWindowPos(qint32 hwnd, qint32& pos);
    QString Associate() const;
    void setAssociate(const QString& value);

    // Network and system queries.
    bool IsConnected();
    QString GetInternalIp();
    QVariant GetExternalIp();

    // Late-bound call by dispatch id. Arguments passed by reference are written back into args.
    // An unknown id throws RuntimeError(438).
    QVariant Invoke(qint32 dispatchId, QVariantList& args);

Q_SIGNALS:
    void FileFound(const QString& FileFoundName);
    void FileSearchPath(const QString& SearchingPath);

private:
    struct Private;
    Private* d;
};

} // namespace dorvane
