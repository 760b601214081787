// What "3 - Apply" will do, shown before it does it: one row per entry of the album, the
// rows left alone marked with why, and where the playlist goes. Apply or Cancel.
#pragma once

#include "album/AlbumApply.h"

#include <QColor>
#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

namespace tunora {

// The colour of a file and a track whose lengths differ by more than 10 s, in the preview
// and in the album page's lists.
QColor LengthWarningColour();

class ApplyPreview : public QDialog {
    Q_OBJECT
public:
    ApplyPreview(const ApplyResult& preview, QWidget* parent = nullptr);

private:
    // Columns of names give way (eliding in the middle) until the table fits the screen.
    void fitColumns(int availableWidth);

    QTableWidget* m_table = nullptr; // preview_tbl
    QLabel* m_warning = nullptr;     // preview_warn_lbl: how many rows differ by more than 10 s
    QLabel* m_playlist = nullptr;    // preview_pls_lbl
    QPushButton *m_apply = nullptr, *m_cancel = nullptr;
};

} // namespace tunora
