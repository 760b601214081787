// File dialogs, special folders, opening documents and addresses, window z-order.
#include "dorvane/Shell.h"

#include "dorvane/ControlPrivate.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QWidget>

namespace dorvane::shell {

namespace {

// The toolkit reads the masks from the description's last parentheses: a description that
// already ends with the same masks stays as it is ("MP3 (*.mp3)"), any other gets them added.
QString withMasks(const QString& desc, const QStringList& masks)
{
    static const QRegularExpression trailing(QStringLiteral("\\(([^()]*)\\)$"));
    const QRegularExpressionMatch m = trailing.match(desc);
    if (m.hasMatch()) {
        static const QRegularExpression separators(QStringLiteral("[;,\\s]+"));
        QStringList shown = m.captured(1).split(separators, Qt::SkipEmptyParts);
        QStringList wanted = masks;
        for (QString& s : shown)
            s = s.toLower();
        for (QString& s : wanted)
            s = s.toLower();
        shown.sort();
        wanted.sort();
        if (shown == wanted)
            return desc;
    }
    return desc + " (" + masks.join(QChar(' ')) + ")";
}

} // namespace

QStringList NameFilters(const QString& filter)
{
    static const QRegularExpression separators(QStringLiteral("[|\\x{0000}]"));
    const QStringList parts = filter.split(separators);
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString desc = parts.at(i).trimmed();
        QStringList masks;
        for (const QString& m : parts.at(i + 1).split(QChar(';')))
            if (!m.trimmed().isEmpty())
                masks << m.trimmed();
        if (desc.isEmpty())
            break; // an empty string where a description belongs ends the list
        if (!masks.isEmpty())
            out << withMasks(desc, masks);
    }
    return out;
}

QUrl CommandUrl(const QString& command)
{
    // A scheme of two letters or more: "C:" style drive names are not addresses.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(command).hasMatch())
        return QUrl(command, QUrl::TolerantMode);
    return QUrl::fromLocalFile(QFileInfo(command).absoluteFilePath());
}

} // namespace dorvane::shell

namespace dorvane {

namespace {

QWidget* windowOf(qint32 hwnd)
{
    if (hwnd == 0 || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return nullptr;
    QWidget* w = QWidget::find(WId(quint32(hwnd)));
    return w ? w->window() : nullptr;
}

QString fileDialog(bool save, qint32 hwnd, const QString& initialDir, const QString& filter, const QString& defExt,
                   const QString& title)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return QString(); // no window system: as a dialog that fails to open
    QFileDialog dlg(windowOf(hwnd), title, initialDir);
    dlg.setObjectName(save ? QStringLiteral("SauveFichier") : QStringLiteral("OuvreFichier"));
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = shell::NameFilters(filter);
    if (!filters.isEmpty())
        dlg.setNameFilters(filters);
    QString suffix = defExt.trimmed();
    while (suffix.startsWith(QChar('.')))
        suffix.remove(0, 1);
    if (!suffix.isEmpty())
        dlg.setDefaultSuffix(suffix);
    if (detail::RunDialog(dlg) != QDialog::Accepted)
        return QString();
    return dlg.selectedFiles().value(0);
}

} // namespace

int detail::ExecDialog(QDialog& dialog)
{
    return dialog.exec();
}

QString Dorvanectrl::OuvreFichier(qint32& hwnd, qint32&, QString& InitialRep, QString& Filtre, QString& DefExt,
                                  QString& Titre)
{
    return fileDialog(false, hwnd, InitialRep, Filtre, DefExt, Titre);
}

QString Dorvanectrl::SauveFichier(qint32& hwnd, qint32&, QString& InitialRep, QString& Filtre, QString& DefExt,
                                  QString& Titre)
{
    return fileDialog(true, hwnd, InitialRep, Filtre, DefExt, Titre);
}

QString Dorvanectrl::DossierSpecial(qint32)
{
    // Bookmarked places of the user; the folder need not exist yet.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + "/favorites";
}

QVariant Dorvanectrl::GetSysDir()
{
    // The folder of the system's own programs.
    return QStringLiteral("/usr/bin").trimmed();
}

void Dorvanectrl::DefautExec(qint32, QString& commande)
{
    if (commande.isEmpty() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    QDesktopServices::openUrl(shell::CommandUrl(commande)); // the outcome is not examined
}

void Dorvanectrl::OpenURL(qint32 hwnd, QString& url, bool& NewWnd)
{
    if (!NewWnd) {
        DefautExec(hwnd, url);
        return;
    }
    // The registered browser command with the address in place of its "%1" or "%u" (one
    // argument each); a command without either gets the address as its last argument.
    QStringList args = QProcess::splitCommand(RegistryRead(CLASSES_ROOT, "htmlfile\\shell\\open\\command", ""));
    const QString program = args.isEmpty() ? QStringLiteral("xdg-open") : args.takeFirst();
    bool placed = false;
    for (QString& a : args) {
        QString out;
        for (qsizetype i = 0; i < a.size(); ++i) {
            const QChar next = i + 1 < a.size() ? a.at(i + 1) : QChar();
            if (a.at(i) == '%' && (next == '1' || next == 'u' || next == 'U')) {
                out += url;
                placed = true;
                ++i;
            } else {
                out += a.at(i);
            }
        }
        a = out;
    }
    if (!placed)
        args << url;
    if (!QProcess::startDetached(program, args))
        throw RuntimeError(53, "File not found");
}

qint32 Dorvanectrl::vbSetWindowPos(qint32 hwnd, qint32& pos)
{
    QWidget* w = windowOf(hwnd);
    if (!w)
        return 0;
    switch (pos) {
    case HWND_TOPMOST:
    case HWND_NOTOPMOST: {
        const bool onTop = pos == HWND_TOPMOST;
        if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop) {
            // Changing the flag makes a new native window: keep place, size and state.
            const QRect geometry = w->geometry();
            const Qt::WindowStates state = w->windowState();
            const bool visible = w->isVisible();
            w->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
            if (state == Qt::WindowNoState)
                w->setGeometry(geometry);
            if (visible) {
                w->show();
                w->setWindowState(state);
            }
        }
        if (onTop)
            w->raise();
        return 1;
    }
    case HWND_TOP:
        w->raise();
        return 1;
    case 1: // the bottom of the z-order
        w->lower();
        return 1;
    default:
        return 0;
    }
}

QString Dorvanectrl::Associate() const
{
    return QString();
}

void Dorvanectrl::setAssociate(const QString&) {}

} // namespace dorvane
