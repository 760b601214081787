# `cpack -G DEB` in the build folder makes tunora_<version>_<arch>.deb from the install rules:
# /usr/bin/tunora and tunora-cli, the app folder /usr/lib/tunora, desktop entry, AppStream
# metainfo, hicolor icons, tunora-cli's man page and bash completion.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tunora)
set(CPACK_PACKAGE_VENDOR "The Tunora project")
set(CPACK_PACKAGE_CONTACT "The Tunora project <support@tunora.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "music tagger: album lookups, ID3 tags, renaming and playlists")
# Lines of the extended description stay within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Tunora looks an album up in CDDB or MusicBrainz (or by the sound of its files
through AcoustID), lines the files up with the fetched tracks, renames them
after a pattern and writes ID3 tags and an M3U playlist. It also has a bulk
renamer, a file lister, a playlist builder and a CD burn list; tunora-cli does
the same work from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tunora.example.org/")
# Dependencies come from the libraries the programs link (dpkg-shlibdeps: Qt, curl, OpenSSL,
# FFmpeg's libavformat/libavcodec/libswresample and Chromaprint); libDorvane is the package's
# own and lives beside them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${TUNORA_APP_DIR})
include(CPack)
