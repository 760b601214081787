// The updater window "upd": file name, state, progress and speed of the installer download.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QFrame;
class QGroupBox;
class QLabel;

namespace tunora {

class Ferrix;

class UpdWindow : public QWidget {
    Q_OBJECT
public:
    // Loading applies the captions, copies the main window's icon and takes the start time.
    explicit UpdWindow(QWidget* parent = nullptr);
    ~UpdWindow() override;

    void transme();
    QString DisplaySize(qint64 bytes) const;
    Ferrix* ferrix() const { return m_ferrix; }
    void setFileName(const QString& fileName);

    // Closes without asking and ends a running download (the program's own unload).
    void unload();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void onState(const QString& text);
    void onProgress(int percent, double totalBytes);

    Ferrix* m_ferrix = nullptr;
    QGroupBox* m_stats = nullptr;
    QLabel* m_file = nullptr;
    QLabel* m_state = nullptr;
    QLabel* m_prog = nullptr;
    QLabel* m_speed = nullptr;
    QFrame* m_hst = nullptr;
    QFrame* m_bar = nullptr;
    QElapsedTimer m_start;
    bool m_unloading = false;
};

} // namespace tunora
