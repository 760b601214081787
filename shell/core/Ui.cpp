#include "shell/core/Ui.h"

#include "dorvane/FileIo.h"

#include <QTextStream>
#include <cstdio>
#include <cstdlib>

namespace tunora {

namespace {
MessageHandler& messageHandler()
{
    static MessageHandler h;
    return h;
}
FatalHandler& fatalHandler()
{
    static FatalHandler h;
    return h;
}
} // namespace

MessageHandler SetMessageHandler(MessageHandler handler)
{
    MessageHandler old = std::move(messageHandler());
    messageHandler() = std::move(handler);
    return old;
}

MsgAnswer ShowMessage(const QString& message, MsgButtons buttons)
{
    // A file name that is not UTF-8 is told as the lists show it.
    const QString text = dorvane::io::DisplayName(message);
    if (messageHandler())
        return messageHandler()(text, buttons);
    // No window: the text goes to standard error, a question is declined.
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

bool AskYesNo(const QString& text)
{
    return ShowMessage(text, MsgButtons::YesNo) == MsgAnswer::Yes;
}

FatalHandler SetFatalHandler(FatalHandler handler)
{
    FatalHandler old = std::move(fatalHandler());
    fatalHandler() = std::move(handler);
    return old;
}

void Fatal(const QString& message)
{
    if (fatalHandler()) {
        fatalHandler()(message);
        return;
    }
    ShowMessage(message);
    std::exit(1);
}

} // namespace tunora
