# The 178 texts of english.lf, in order. make_language.py writes the file from this table.
TEXTS = [
    "Yes",  # 0
    "No",
    "Get the CD burning program",
    "Burn List",
    "Options",
    "Choose a folder",  # 5
    "Browse...",
    "Folder",
    "File Lister",
    "Bulk Renamer",
    "Playlist Builder",  # 10
    "Files",
    "Up",
    "Down",
    "Delete",
    "Fake Track",  # 15
    "Clear",
    "Statistics",
    "Auto Sort",
    "Undo",
    "Options",  # 20
    "Rename files",
    "Write a playlist",
    "Current language:",
    "Results",
    "Album",  # 25
    "Fetched tracks",
    "Progress",
    "Artist",
    "Album",
    "Genre",  # 30
    "Year",
    "Cancel",
    "Close",
    "Setup",
    "Check for updates",  # 35
    "Help",
    "Information",
    "About",
    "Language",
    "Steps",  # 40
    "Search",
    "more",
    "Retrieve details",
    "Apply",
    "The tags could not be written to this file.",  # 45
    "%%1%% already exists: %%2%% keeps its name.",
    "%%1%% is read-only: it was neither tagged nor renamed.",
    "The number of fetched tracks differs from the number of files: no file was tagged or renamed.",
    "No playlist folder is set up. Write the playlist into the album folder?",
    "The playlist already exists. Replace it?",  # 50
    "Done.",
    "Automatic sort needs as many files as fetched tracks, and no fake track.",
    "The disc has more tracks than the folder has files. Add fake tracks for the missing files?",
    "The disc details could not be retrieved.",
    "No Internet connection was found.",  # 55
    "A new version of %%1%% is available. Download and install it now?",
    "The new version of %%1%% has been downloaded. Its installer starts now and %%1%% closes.",
    "The update could not be downloaded.",
    "You already have the latest version of %%1%% (%%2%%.%%3%%.%%4%%).",
    "The update server could not be reached, or its update description is broken.",  # 60
    "A new search clears the fetched disc. Go on?",
    "No album was found.",
    "The genre list (styles.dat) is missing: ID3v1 tags cannot be written.",
    "The genre list (styles.dat) is incomplete.",
    "OK",  # 65
    "Write to us",
    "Web site",
    "Version",
    "Build",
    "%%1%%",  # 70
    "%%1%%",
    "Version %%1%%.%%2%%.%%3%%",
    "Copyright",
    "All rights reserved",
    "Thanks",  # 75
    "Credits",
    "Words to search for (artist, album):",
    "Search the CDDB database",
    "Method",
    "Automatic Sort",  # 80
    "Fast Auto Sort",
    "Quadratic Optimization Auto Sort",
    "Rename",
    "Name",
    "Un-merge title (ie : AnOdeToNoOne ->  An Ode To No One)",  # 85
    "Enable Case Standardization",
    "Lower Case",
    "Upper Case",
    "Capitalize First Letter (ie : An Ode To No One)",
    "Replace underscores (\"_\") by space",  # 90
    "Replace space by underscores (\"_\")",
    "Replace multiple spaces by a single space",
    "Case Standardization",
    "Add files",
    "Add folder",  # 95
    "Reset",
    "Go",
    "Stop",
    "%%1%% of %%2%% files renamed.",
    "Drive",  # 100
    "Format",
    "Folder",
    "Include subfolders",
    "Folder to list",
    "Output folder",  # 105
    "Line pattern",
    "Pattern:",
    "Sample:",
    "file name without extension",
    "extension with its dot",  # 110
    "File format",
    "size in megabytes",
    "folder being listed",
    "Choose an existing folder to list, an output folder and a file name.",
    "Choose at least one format.",  # 115
    "Listing",
    "File name",
    "This playlist already exists. Replace it?",
    "Playlist",
    "Tracks",  # 120
    "Length",
    "Path",
    "Internet",
    "Do not test the connection before checking for updates",
    "Check for updates at start-up",  # 125
    "Album renaming",
    "CDDB server",
    "Server:",
    "HTTP",
    "Port:",  # 130
    "CGI path:",
    "Album playlist",
    "In the album folder",
    "In the album folder's parent",
    "In this folder:",  # 135
    "Proxy",
    "Use a proxy",
    "Proxy host:",
    "Proxy port:",
    "Placeholders",  # 140
    "The proxy is switched on but no proxy host is given: the settings were not saved.",
    "Statistics",
    "Source",
    "Number of tracks :",
    "Fetched Data",  # 145
    "Number of tracks match : ",
    "Deviations (the lower the better) : ",
    "Supported :",
    "Quadratic Deviation :",
    "Global Deviation :",  # 150
    "Maximum Deviation :",
    "Deviation",
    "No (the numbers of tracks differ)",
    "Yes",
    "(fake tracks left out)",  # 155
    "Measuring the playing times...",
    "Done",
    "Track Name Editor",
    "Update",
    "State:",  # 160
    "Speed:",
    "bytes",
    "KB",
    "MB",
    "Title",  # 165
    "Track number",
    "The album folder holds no files.",
    "Choose at least one option.",
    "%%FIC%% could not be renamed.",
    "Burn",  # 170
    "Audio CD (74 minutes)",
    "Total time:",
    "No CD burning program was found. Tunora burns with k3b or Brasero: install one of them with your package manager. Visit the k3b web site?",
    "The compilation is longer than 74 minutes. Burn it anyway?",
    "Album Tagger",  # 175
    "Ready",
    "Cancelled.",
]
assert len(TEXTS) == 178, len(TEXTS)
