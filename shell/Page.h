// A page of the main window. Start-up calls prepare() once; transme() applies captions
// from the language table whenever it changes.
#pragma once

#include <QWidget>

namespace tunora {

class MainWindow;

class Page : public QWidget {
    Q_OBJECT
public:
    explicit Page(QWidget* parent = nullptr) : QWidget(parent) {}
    virtual void prepare() {}
    virtual void transme() {}
    // Start-up step after every page is prepared (the album page clears its disc fields).
    virtual void afterStartup() {}
};

} // namespace tunora
