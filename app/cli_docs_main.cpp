// Writes tunora-cli's man page and bash completion from its help table (run by the build).
#include "shell/core/CliHelp.h"

#include <QFile>
#include <cstdio>

static bool write(const char* path, const QString& text)
{
    QFile f(QString::fromLocal8Bit(path));
    const QByteArray bytes = text.toUtf8();
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush()) {
        std::fprintf(stderr, "tunora-cli-docs: cannot write %s\n", path);
        return false;
    }
    return true;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tunora-cli-docs MANPAGE COMPLETION\n");
        return 2;
    }
    return write(argv[1], tunora::cli::ManPage()) && write(argv[2], tunora::cli::BashCompletion()) ? 0 : 1;
}
