#pragma once

#include <QTimer>
#include <QWidget>

#include <array>

class QPushButton;
class QTextEdit;
class colRecent;
struct ProgramState;

// "Savenook's Recent Activity": the log, newest first, refreshed while open.
class frmRecentLog : public QWidget
{
    Q_OBJECT
  public:
    // placement (twips: top, left, height, width) is read at load and written at unload.
    frmRecentLog(ProgramState& state, const colRecent& recent, std::array<qint16, 4>& placement,
                 QWidget* parent = nullptr);
    ~frmRecentLog() override;

    QTextEdit* txtLog = nullptr;
    QPushButton* cmdClose = nullptr;
    QTimer tmrRefresh;
    // colRecent::Added() at the last rendering.
    qint64 LastCount = 0;

    void RenderLog();
    void RestoreLogPlacement();
    void SaveLogPlacement();
    // The refresh tick, public so a test can run it without waiting.
    void Refresh();

  protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Renders, and returns the text length the records newer than the last rendering take.
    int render(qint64 newRecords);

    ProgramState& m_state;
    const colRecent& m_recent;
    std::array<qint16, 4>& m_placement;
};
