// Texts of the CDDB lookups that the language files do not carry (yet), in one place.
#pragma once

#include <QString>

namespace tunora::freedbtext {

// Status line while a search or a fetch waits for the server.
inline QString Contacting() { return QStringLiteral("Contacting FreeDB servers...."); }

// Added under a failure message when the server refused, quoting its own line.
inline QString ServerAnswered(const QString& line)
{
    return QStringLiteral("The CDDB server answered: %1").arg(line);
}

// Added under a failure message when the server stayed silent.
inline QString NoAnswer(int seconds)
{
    return QStringLiteral("No answer from the server for %1 seconds.").arg(seconds);
}

// Added under a failure message when the server sent the request on to an https address.
inline QString MovedToHttps(const QString& location)
{
    return QStringLiteral("The server moved to a secure address (%1), which the CDDB client cannot fetch.")
        .arg(location);
}

// Shown once, at the first search, while no e-mail address is set for the hello.
inline QString AnonymousHello()
{
    return QStringLiteral("The CDDB service may refuse lookups from clients without an e-mail address. "
                          "You can enter yours on the setup page.");
}

// A failure message, then the server's refusal or else the web client's notice, if any.
inline QString WithReason(const QString& text, const QString& refusal, const QString& notice)
{
    if (!refusal.isEmpty())
        return text + QLatin1String("\n\n") + ServerAnswered(refusal);
    if (!notice.isEmpty())
        return text + QLatin1String("\n\n") + notice;
    return text;
}

// "Find by lengths" when no file of the album gave a playing time.
inline QString NoPlayingTimes()
{
    return QStringLiteral("The album's files have no measurable playing time.");
}

// Caption of the album page's "Find by lengths" button (findlen_btn).
inline QString FindByLengthsCaption() { return QStringLiteral("Find by lengths"); }

// Label of the setup page's e-mail field (setup_cddbuser_txt).
inline QString CddbUserLabel() { return QStringLiteral("E-mail address sent to the CDDB service:"); }

} // namespace tunora::freedbtext
