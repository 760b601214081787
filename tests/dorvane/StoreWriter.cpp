// Writes settings through the control, for tests that run several writers at once.
//   dorvane_store_writer write PREFIX COUNT   values PREFIX0..PREFIX<COUNT-1> = "v-" + name
//   dorvane_store_writer churn CHARS          rewrites "payload" with a bigger value forever
// The store's file comes from TUNORA_REGISTRY.
#include "dorvane/Dorvanectrl.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>

namespace {
const QString kPath = QStringLiteral("Software\\Veldmark Corp.\\StoreTest");
}

// A payload whose every character and length follow from its round, so a torn copy shows.
QString Payload(qint64 round, int chars)
{
    const QChar fill(u'a' + char16_t(round % 26));
    return QString(chars, fill) + "|" + QString::number(round);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    dorvane::Dorvanectrl ctl;
    if (args.size() == 4 && args.at(1) == QLatin1String("write")) {
        const int count = args.at(3).toInt();
        for (int i = 0; i < count; ++i) {
            const QString name = args.at(2) + QString::number(i);
            ctl.RegistryWrite(dorvane::LOCAL_MACHINE, kPath, name, "v-" + name);
        }
        return 0;
    }
    if (args.size() == 3 && args.at(1) == QLatin1String("churn")) {
        const int chars = args.at(2).toInt();
        for (qint64 round = 1;; ++round) {
            ctl.RegistryWrite(dorvane::LOCAL_MACHINE, kPath, "payload", Payload(round, chars));
            if (round == 1) {
                std::printf("started\n");
                std::fflush(stdout);
            }
        }
    }
    std::fprintf(stderr, "usage: %s write PREFIX COUNT | churn CHARS\n", argv[0]);
    return 2;
}
