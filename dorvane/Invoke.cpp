// Late-bound calls by dispatch id, with arguments as variants. Arguments the operation takes by
// reference are written back into the caller's list.
#include "dorvane/ControlPrivate.h"

#include <QMetaType>

#include <limits>

namespace dorvane {

namespace {

[[noreturn]] void typeMismatch()
{
    throw RuntimeError(13, "Type mismatch");
}

void expectArgs(const QVariantList& args, qsizetype least, qsizetype most)
{
    if (args.size() < least || args.size() > most)
        throw RuntimeError(450, "Wrong number of arguments or invalid property assignment");
}

qint32 toLong(const QVariant& v)
{
    if (v.isNull())
        return 0;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? -1 : 0;
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok)
        typeMismatch();
    // Whole-number handles such as 0x80000002 arrive from unsigned sources too.
    if (d >= 2147483648.0 && d <= 4294967295.0)
        return qint32(quint32(d));
    if (d < double(std::numeric_limits<qint32>::min()) || d > double(std::numeric_limits<qint32>::max()))
        throw RuntimeError(6, "Overflow");
    return qint32(qRound64(d));
}

bool toBool(const QVariant& v)
{
    if (v.isNull())
        return false;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
    }
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok)
        typeMismatch();
    return d != 0;
}

QString toText(const QVariant& v)
{
    if (v.isNull())
        return QString();
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (!v.canConvert<QString>())
        typeMismatch();
    return v.toString();
}

} // namespace

QVariant Dorvanectrl::Invoke(qint32 dispatchId, QVariantList& args)
{
    switch (dispatchId) {
    case dispid::GetSysDir:
        expectArgs(args, 0, 0);
        return GetSysDir();
    case dispid::OpenURL: {
        expectArgs(args, 3, 3);
        QString url = toText(args[1]);
        bool newWnd = toBool(args[2]);
        OpenURL(toLong(args[0]), url, newWnd);
        args[1] = url;
        args[2] = newWnd;
        return QVariant();
    }
    case dispid::DefautExec: {
        expectArgs(args, 2, 2);
        QString command = toText(args[1]);
        DefautExec(toLong(args[0]), command);
        args[1] = command;
        return QVariant();
    }
    case dispid::savekey: {
        expectArgs(args, 2, 2);
        qint32 hkey = toLong(args[0]);
        QString path = toText(args[1]);
        savekey(hkey, path);
        args[0] = hkey;
        args[1] = path;
        return QVariant();
    }
    case dispid::RegQueryStringValue:
        expectArgs(args, 2, 2);
        return RegQueryStringValue(toLong(args[0]), toText(args[1]));
    case dispid::StripTerminator:
        expectArgs(args, 1, 1);
        return StripTerminator(toText(args[0]));
    case dispid::savestring:
    case dispid::savestringBIN: {
        expectArgs(args, 4, 4);
        qint32 hkey = toLong(args[0]);
        QString path = toText(args[1]);
        QString name = toText(args[2]);
        QString data = toText(args[3]);
        if (dispatchId == dispid::savestring)
            savestring(hkey, path, name, data);
        else
            savestringBIN(hkey, path, name, data);
        args = {hkey, path, name, data};
        return QVariant();
    }
    case dispid::deletestring: {
        expectArgs(args, 3, 3);
        qint32 hkey = toLong(args[0]);
        QString path = toText(args[1]);
        QString name = toText(args[2]);
        deletestring(hkey, path, name);
        args = {hkey, path, name};
        return QVariant();
    }
    case dispid::Exist:
        expectArgs(args, 1, 1);
        return Exist(toText(args[0]));
    case dispid::EcrireINI:
        expectArgs(args, 4, 4);
        return EcrireINI(args[0], toText(args[1]), toText(args[2]), toText(args[3]));
    case dispid::LireINI:
        expectArgs(args, 3, 4);
        return LireINI(args[0], toText(args[1]), toText(args[2]), args.size() > 3 ? toText(args[3]) : QString());
    case dispid::IsConnected:
        expectArgs(args, 0, 0);
        return IsConnected();
    case dispid::RegistryRead:
        expectArgs(args, 3, 3);
        return RegistryRead(toLong(args[0]), toText(args[1]), toText(args[2]));
    case dispid::RegistryWrite:
        expectArgs(args, 4, 4);
        RegistryWrite(toLong(args[0]), toText(args[1]), toText(args[2]), toText(args[3]));
        return QVariant();
    case dispid::RegistryWriteBin:
        expectArgs(args, 4, 4);
        RegistryWriteBin(toLong(args[0]), toText(args[1]), toText(args[2]), toText(args[3]));
        return QVariant();
    case dispid::RegistryDelete:
        expectArgs(args, 3, 3);
        return RegistryDelete(toLong(args[0]), toText(args[1]), toText(args[2]));
    case dispid::DossierSpecial:
        expectArgs(args, 1, 1);
        return DossierSpecial(toLong(args[0]));
    case dispid::FindFiles: {
        expectArgs(args, 2, 2);
        QString folder = toText(args[1]);
        FindFiles(toText(args[0]), folder);
        args[1] = folder;
        return QVariant();
    }
    case dispid::SauveFichier:
    case dispid::OuvreFichier: {
        expectArgs(args, 6, 6);
        qint32 hwnd = toLong(args[0]);
        qint32 instance = toLong(args[1]);
        QString initial = toText(args[2]);
        QString filter = toText(args[3]);
        QString defExt = toText(args[4]);
        QString title = toText(args[5]);
        const QString answer = dispatchId == dispid::SauveFichier
                                   ? SauveFichier(hwnd, instance, initial, filter, defExt, title)
                                   : OuvreFichier(hwnd, instance, initial, filter, defExt, title);
        args = {hwnd, instance, initial, filter, defExt, title};
        return answer;
    }
    case dispid::vbSetWindowPos: {
        expectArgs(args, 2, 2);
        qint32 pos = toLong(args[1]);
        const qint32 result = vbSetWindowPos(toLong(args[0]), pos);
        args[1] = pos;
        return result;
    }
    case dispid::GetInternalIp:
        expectArgs(args, 0, 0);
        return GetInternalIp();
    case dispid::GetExternalIp:
        expectArgs(args, 0, 0);
        return GetExternalIp();
    case dispid::FindFilesStop:
        expectArgs(args, 0, 1);
        if (args.isEmpty())
            return FindFilesStop();
        setFindFilesStop(toBool(args[0]));
        return QVariant();
    case dispid::Associate:
        expectArgs(args, 0, 1);
        if (args.isEmpty())
            return Associate();
        setAssociate(toText(args[0]));
        return QVariant();
    default:
        throw RuntimeError(438, "Object doesn't support this property or method");
    }
}

} // namespace dorvane
