// The names of the program's settings (under kSettingsPath). Setting() and SetSetting() take
// only these, so a misspelt name cannot compile.
#pragma once

namespace tunora {

struct SettingKey {
    const char* name;
};

namespace setting {
inline constexpr SettingKey kLanguage {"langue"};            // language file name without ".lf"
inline constexpr SettingKey kLastFolder {"LastDir"};         // folder the choosers start in
inline constexpr SettingKey kNamingPattern {"Pattern"};      // album file names
inline constexpr SettingKey kPlaylistPattern {"Playlist"};   // album playlist name
inline constexpr SettingKey kPlaylistMode {"PlaylistMode"};  // where the album playlist goes
inline constexpr SettingKey kFullscreen {"Fullscreen"};      // "1": start maximised
inline constexpr SettingKey kWindowPlacement {"WindowPlacement"}; // "x,y,width,height" of the normal window
inline constexpr SettingKey kAutoUpdate {"AutoUpd"};         // "1": check for updates at start-up
inline constexpr SettingKey kSkipConnectionTest {"Bypass"};  // "1": update check without the online test
inline constexpr SettingKey kCddbServer {"FreeDBServer"};
inline constexpr SettingKey kCgiPath {"CGIPath"};
inline constexpr SettingKey kHttpPort {"HTTPPort"};
inline constexpr SettingKey kUseProxy {"UseProxy"};          // "1": through the proxy below
inline constexpr SettingKey kProxyName {"ProxyName"};
inline constexpr SettingKey kProxyPort {"ProxyPort"};
inline constexpr SettingKey kCddbUser {"CDDBUser"};          // e-mail address sent in the hello
inline constexpr SettingKey kLookupSource {"LookupSource"};  // album page source: "CDDB" or "MusicBrainz"
inline constexpr SettingKey kEmbedCover {"EmbedCover"};      // "1": apply embeds the release's front cover
inline constexpr SettingKey kAcoustIdKey {"AcoustIDKey"};    // the application key AcoustID lookups send
} // namespace setting

} // namespace tunora
