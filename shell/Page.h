// A page of the main window. Start-up calls prepare() once; transme() applies captions
// from the language table whenever it changes.
#pragma once

#include <QStringList>
#include <QWidget>

namespace tunora {

class MainWindow;

// The main window's pages, in the order of their buttons.
enum class PageId { Album, Lister, Bulk, Playlist, Burn, Setup, About };

class Page : public QWidget {
    Q_OBJECT
public:
    explicit Page(QWidget* parent = nullptr) : QWidget(parent) {}
    virtual void prepare() {}
    virtual void transme() {}
    // Start-up step after every page is prepared (the album page clears its disc fields).
    virtual void afterStartup() {}
    // Start-up found no genre table, so no ID3v1 tag can be written.
    virtual void genreTableMissing() {}
    // The language files start-up found beside English's, by shown name; the one loaded.
    virtual void languagesListed(const QStringList& names) { Q_UNUSED(names); }
    virtual void languageLoaded(const QString& shown) { Q_UNUSED(shown); }
};

} // namespace tunora
