#include "fingerprint/FingerprintCli.h"

#include "dorvane/FileIo.h"
#include "fingerprint/Fingerprint.h"
#include "shell/core/CliCommand.h"

#include <QFile>
#include <cstdio>

namespace tunora {

// Per file: the duration in seconds, a tab, the fingerprint, a tab, the path; a file without
// one is told on standard error and makes the exit code 1.
int RunFingerprintCommand(const QStringList& args)
{
    CliCommand cmd("fingerprint");
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    QStringList files;
    if (const int code = cmd.needWords(&files); code >= 0)
        return code;
    int status = 0;
    for (const FileFingerprint& f : FingerprintFiles(files)) {
        if (f.ok()) {
            std::printf("%d\t%s\t%s\n", f.seconds, f.fingerprint.constData(),
                        dorvane::io::EncodeName(f.path).constData());
            continue;
        }
        std::fflush(stdout);
        cmd.tell(f.path + QStringLiteral(": ") + f.error);
        status = 1;
    }
    return status;
}

} // namespace tunora
