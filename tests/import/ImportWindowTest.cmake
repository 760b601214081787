# The import window driven offscreen on the real main window (included from
# tests/album/CMakeLists.txt; its place is beside the import's other tests).
tunora_add_test(NAME import_window_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ImportWindowTest.cpp
                LIBS tunora_test_gui tunora_musicbrainz_testserver tunora_freedb_testserver TIMEOUT 300)
