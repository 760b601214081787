// The program's identity and the addresses it opens; kept in one place.
#pragma once

#include "shell/core/Version.h"

namespace tunora::product {

inline constexpr const char* kName = "Tunora";
inline constexpr const char* kComment = "Album tagger and audio file toolbox";
inline constexpr int kMajor = TUNORA_VERSION_MAJOR;
inline constexpr int kMinor = TUNORA_VERSION_MINOR;
inline constexpr int kRevision = TUNORA_VERSION_PATCH;
inline constexpr const char* kVersion = TUNORA_VERSION;
inline constexpr const char* kSupportMail = "mailto:support@tunora.example.org";
inline constexpr const char* kWebSite = "http://www.tunora.example.org/";

} // namespace tunora::product
