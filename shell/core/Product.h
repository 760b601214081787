// The program's identity and the addresses it opens; kept in one place.
#pragma once

namespace tunora::product {

inline constexpr const char* kName = "Tunora";
inline constexpr const char* kComment = "Album tagger and audio file toolbox";
inline constexpr int kMajor = 4;
inline constexpr int kMinor = 0;
inline constexpr int kRevision = 77;
inline constexpr const char* kVersion = "4.0.77";
inline constexpr const char* kSupportMail = "mailto:support@tunora.example.org";
inline constexpr const char* kWebSite = "http://www.tunora.example.org/";

} // namespace tunora::product
