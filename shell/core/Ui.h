// The seam through which every message box of the program passes. The GUI installs a
// QMessageBox handler, tunora-cli one that prints, tests a scripted one.
#pragma once

#include <QString>
#include <functional>

namespace tunora {

enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

using MessageHandler = std::function<MsgAnswer(const QString& text, MsgButtons buttons)>;

// Installs a handler and answers the previous one.
MessageHandler SetMessageHandler(MessageHandler handler);
MsgAnswer ShowMessage(const QString& text, MsgButtons buttons = MsgButtons::Ok);
// A Yes/No question; true only on Yes.
bool AskYesNo(const QString& text);

// Ends the process after an installation fault; tests replace it to observe the call.
using FatalHandler = std::function<void(const QString& message)>;
FatalHandler SetFatalHandler(FatalHandler handler);
void Fatal(const QString& message);

} // namespace tunora
