// The main window: seven pages behind seven page buttons, the status line and cancel.
#pragma once

#include "shell/Page.h"

#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QPushButton;
class QToolButton;
class QSoundEffect;
class QStackedWidget;
class QTimer;

namespace tunora {

// wanted moved (and shrunk no smaller than minimum) to lie inside available.
QRect FitInside(const QRect& wanted, const QRect& available, const QSize& minimum);

class MainWindow : public QWidget {
    Q_OBJECT
public:
    using PageFactory = std::function<Page*(MainWindow*)>;
    static constexpr int kPageCount = 7;

    // factories[i] builds the page shown in container i (0 album .. 6 about); an empty one
    // gives an empty page.
    explicit MainWindow(const std::array<PageFactory, kPageCount>& factories, QWidget* parent = nullptr);
    ~MainWindow() override;

    static MainWindow* instance();

    // Start-up steps in order; false when an installation fault ended it.
    bool startup();

    void switchPage(PageId id);
    PageId currentPage() const { return PageId(m_current); }
    Page* page(PageId id) const { return m_pages.at(static_cast<size_t>(id)); }

    // Language texts.
    void loadlangue(const QString& fileName);
    void listlangues();
    void transme();

    // Start-up asks for a maximised window when "Fullscreen" is "1".
    bool wantsMaximized() const { return m_maximized; }

    // Hooks other subsystems install: the update check (automatic flag) and the FTP close.
    std::function<void(bool automatic)> checkForUpdate;
    std::function<void()> closeConnections;

    int soundPlayCount() const { return m_soundPlays; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool startupSteps();
    void onBusyChanged(bool busy);
    void playAboutSound();
    // The size and place of the last session, kept inside the available screen.
    void restorePlacement();
    void savePlacement();

    std::array<QToolButton*, kPageCount> m_buttons {};
    std::array<QWidget*, kPageCount> m_frames {};
    std::array<Page*, kPageCount> m_pages {};
    QStackedWidget* m_stack = nullptr;
    QLabel* m_info = nullptr;
    QPushButton* m_cancel = nullptr;
    QTimer* m_timer = nullptr;
    QSoundEffect* m_sound = nullptr;
    int m_current = -1;
    int m_soundPlays = 0;
    bool m_maximized = false;
    bool m_starting = false;
};

} // namespace tunora
