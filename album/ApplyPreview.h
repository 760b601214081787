// What "3 - Apply" will do, shown before it does it: one row per entry of the album, the
// rows left alone marked with why, and where the playlist goes. Apply or Cancel.
#pragma once

#include "album/AlbumApply.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

namespace tunora {

class ApplyPreview : public QDialog {
    Q_OBJECT
public:
    ApplyPreview(const ApplyResult& preview, QWidget* parent = nullptr);

private:
    QTableWidget* m_table = nullptr; // preview_tbl
    QLabel* m_playlist = nullptr;    // preview_pls_lbl
    QPushButton *m_apply = nullptr, *m_cancel = nullptr;
};

} // namespace tunora
