// What the folder chooser is opened for. The values are the dialog's mode numbers.
#pragma once

namespace tunora {

enum class ChooserMode {
    AlbumFolder = 1,         // a folder and a format (album page)
    ListerInput = 2,         // a folder
    ListerOutput = 3,        // a folder
    BulkAddFolder = 4,       // walks the folder for files (bulk renamer)
    SetupPlaylistFolder = 5, // a folder
    PlaylistAddFolder = 6,   // walks the folder for files
    PlaylistOutput = 7,      // a folder
    BurnAddFolder = 8,       // walks the folder for files (burn list)
};

} // namespace tunora
