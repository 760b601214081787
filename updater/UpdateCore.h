// The update check's logic without windows: where the server is, what the description
// file says, and how sizes and speeds are shown.
#pragma once

#include <QString>

namespace tunora {

// The maker's FTP server and its anonymous account.
inline constexpr const char* kUpdateHost = "ftp.tunora.example.org";
inline constexpr int kUpdatePort = 21;
inline constexpr const char* kUpdateUser = "anonymous";
inline constexpr const char* kUpdatePassword = "zuvo_vanta";
inline constexpr const char* kUpdateFolder = "/veldmarkco/files";
inline constexpr const char* kDescriptionName = "upd.dat";
// The detached Ed25519 signature of "upd.dat", fetched from beside it: 64 raw bytes.
inline constexpr const char* kSignatureName = "upd.dat.sig";
// The public half of the key that signs "upd.dat", 32 bytes in hex.
inline constexpr const char* kUpdatePublicKeyHex = "856f4d1871ab3465f314ac92a1eb8e07afb9d13557116f8cd5c2af14e8fa853c";

// "upd.dat" is a few lines; an installer is bounded too, so a hostile server cannot fill the disk.
inline constexpr qint64 kMaxDescriptionBytes = 64 * 1024;
inline constexpr qint64 kMaxSignatureBytes = 1024;
inline constexpr qint64 kMaxInstallerBytes = qint64(1) << 31;

struct UpdateServer {
    QString host;
    int port = kUpdatePort;
};
// The built-in server, or TUNORA_UPDATE_HOST / TUNORA_UPDATE_PORT when set (a port outside
// 1..65535 is ignored).
UpdateServer UpdateServerAddress();

// The local "upd" folder (under WritableFolder) and the description and signature in it.
QString UpdateFolder();
QString DescriptionPath();
QString SignaturePath();

// The key "upd.dat" must be signed with: the built-in one; builds with the tests take
// TUNORA_UPDATE_PUBKEY (hex) instead when it is set, so tests can sign with a key of their own.
QByteArray UpdatePublicKey();
// True when signature is a valid Ed25519 signature of data by publicKey (32 raw bytes).
bool VerifyEd25519(const QByteArray& data, const QByteArray& signature, const QByteArray& publicKey);

// Numeric value of the leading number of a text ("78", " 78 ", "78b" give 78; "x" gives 0).
double BuildNumberValue(const QString& text);

// What "upd.dat" describes for this program.
struct UpdateDescription {
    double build = 0;
    QString fileName;
    QString path;
    QString sha256;
};
UpdateDescription ReadUpdateDescription(const QString& descriptionPath);

// The installer's name lands in the local "upd" folder and is executed, so it must be a plain
// name: not empty, no "/", no "..", no control characters.
bool IsSafeInstallerName(const QString& fileName);
// The server folder is sent in FTP commands: not empty, no ".." segment, no control characters.
bool IsSafeServerFolder(const QString& folder);

// Exactly 64 hexadecimal digits (any letter case), as the SHA256= line must give.
bool IsSha256Hex(const QString& text);
// True when the file's SHA-256 equals hex (any letter case, surrounding spaces ignored).
bool FileMatchesSha256(const QString& path, const QString& hex);

// "1024 B", "1.5 KB", "1.5 MB": at most two decimals, cut, the system's decimal separator,
// no trailing zeros; the units are language texts 162, 163, 164.
QString DisplaySize(qint64 bytes);

// Bytes done at percent of total, and the average speed in bytes per second since the window
// loaded (an elapsed time of 0 ms counts as 1).
qint64 BytesDone(int percent, double totalBytes);
qint64 AverageSpeed(int percent, double totalBytes, qint64 elapsedMs);

// The texts of the updater window's progress and speed labels.
QString ProgressText(int percent, double totalBytes);
QString SpeedText(int percent, double totalBytes, qint64 elapsedMs);

// Language text 59 with the product name and version filled in.
QString UpToDateText();
// Language text n with "%%1%%" replaced by the product name.
QString ProductText(int n);

} // namespace tunora
