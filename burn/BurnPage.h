// Page 4: the compilation for an audio CD, timed against 74 minutes and handed to the
// outside burner.
#pragma once

#include "burn/BurnList.h"
#include "shell/Page.h"

#include <QListWidget>
#include <QStringList>

class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace tunora {

class FileListPanel;

// burn_lst: reports its mouse down, move and up after the list has handled them, so the
// current row is the one under the pointer.
class BurnListWidget : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;
Q_SIGNALS:
    void mouseDown();
    void mouseMove(Qt::MouseButtons buttons);
    void mouseUp();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class BurnPage : public Page {
    Q_OBJECT
public:
    explicit BurnPage(QWidget* parent = nullptr);

    void prepare() override;
    void transme() override;

    // burn_burner_lbl names the burner the next hand-off starts; shown anew whenever the page
    // appears, since a burner may have been installed meanwhile.
    void ShowBurner();

    // The operations behind the page's controls.
    void AddFiles();
    void AddFolder();
    void DeleteSelected();
    void Reset();
    void MoveUp();
    void MoveDown();
    void HandOff();

    // The running total in milliseconds, the staging list and the entries.
    double total() const { return m_total; }
    const QStringList& tmpList() const { return m_tmp; }
    QStringList entries() const;

    // Tests put in playing times of their own.
    void setPlayingTimeReader(PlayingTimeReader reader) { m_readTime = std::move(reader); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void EnablePage(bool enabled);
    void ShowTime();
    void Import();
    void Recount();
    void OpenBurnerSite();
    void swapRows(int a, int b);

    void onMouseDown();
    void onMouseMove(Qt::MouseButtons buttons);
    void onMouseUp();

    BurnListWidget* m_list = nullptr;
    FileListPanel* m_files = nullptr; // burn_add_btn, burn_addfolder_btn, burn_delete_btn, burn_reset_btn
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
    QPushButton* m_burn = nullptr;
    QToolButton* m_c2cd = nullptr;
    QGroupBox* m_progFrame = nullptr;
    QFrame* m_progHst = nullptr;
    QFrame* m_progBar = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_burner = nullptr;

    QStringList m_tmp; // tmp_lst
    double m_total = 0;
    int m_dragIndex = -1;
    PlayingTimeReader m_readTime = DefaultPlayingTimeReader();
};

} // namespace tunora
