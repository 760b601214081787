// The updater's FTP component: one blocking download at a time, the event loop kept
// running while it lasts, state and progress raised as signals on the same thread.
#pragma once

#include <QObject>
#include <QString>

namespace tunora {

class Ferrix : public QObject {
    Q_OBJECT
public:
    explicit Ferrix(QObject* parent = nullptr);
    ~Ferrix() override;

    // Fetches folder/fileName from host:port and stores it at localPath (through a temporary
    // file, so a failed transfer leaves nothing behind and an existing file is replaced only
    // by a complete one). Blocks until the transfer ends, letting the event loop run every
    // 20 ms at most. A file larger than maxBytes is refused. True when the file is stored.
    bool download(const QString& user, const QString& password, const QString& host, int port, const QString& folder,
                  const QString& fileName, const QString& localPath, qint64 maxBytes);

    // Ends a running transfer (its download then answers false); harmless when idle.
    void close();

    bool isTransferring() const { return m_transferring; }
    // True when the last download ended because close() was called.
    bool wasClosed() const { return m_closed; }
    // Text of the last failure (empty after a success).
    QString lastError() const { return m_error; }

    // "ftp://host:port/<folder>/<fileName>" with every path segment percent-encoded; a folder
    // starting with "/" is taken from the server's root rather than the login folder.
    static QString BuildUrl(const QString& host, int port, const QString& folder, const QString& fileName);

Q_SIGNALS:
    // What the component is doing, in words.
    void State(const QString& text);
    // Percent done (0..100) and the total size in bytes.
    void Progress(int percent, double totalBytes);

private:
    struct Transfer;
    bool m_transferring = false;
    bool m_closed = false;
    bool m_abort = false;
    QString m_error;
    int m_lastPercent = -1;

    friend struct Transfer;
};

} // namespace tunora
