#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class colNotifiers;
struct Options;
struct ProgramState;

// The pop-up at the bottom right of the work area: one queued result after
// another, or the "Scanning for updated files..." bar. It never takes the focus.
class frmNotification : public QWidget
{
    Q_OBJECT
  public:
    // Loads the pop-up hidden; the next-result timer shows the first result.
    frmNotification(ProgramState& state, const Options& options, colNotifiers& queue,
                    QWidget* parent = nullptr);
    ~frmNotification() override;

    // The work area to stand in (the screen that holds the tray). Read at every placing.
    std::function<QRect()> WorkArea;

    void ShowNextNotification();
    // Shown and raised without being activated, where it stands.
    void ShowNoActivate();
    // The scanning bar, shown at once when no result is on display.
    void ShowScanningBar();
    // A click on the close picture.
    void CloseClicked();
    // Closes and deletes the pop-up.
    void Unload();
    void OnTopTick();

    static QColor StatusColour(const QString& message);
    // The pop-up texts double an ampersand that should show once.
    static QString StatusText(const QString& message);
    static QString SourceText(const QString& source, bool full);
    static QString DestinationText(const QString& destination, bool full);

    bool NotificationShown = false;
    int AdvanceMilliseconds = 0;
    double SecondsPerNotification = 0;
    QTimer tmrNextNotify, tmrOnTop;
    QLabel *imgCloseArea = nullptr, *lblStatus = nullptr, *lblSourceCaption = nullptr, *imgSource = nullptr,
           *lblSource = nullptr, *lblDestinationCaption = nullptr, *imgDestination = nullptr,
           *lblDestination = nullptr, *imgSavenook = nullptr;

  Q_SIGNALS:
    void Unloaded();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Sizes from the font: positions, the bar's and the full height, the designed width.
    struct Metrics
    {
        int pad, bar, close, icon, logo, labelLeft, fullHeight, designedWidth;
    };
    Metrics metrics() const;
    void layOut(bool full);
    void setStatus(const QString& text, const QColor& colour);
    void growTo(int needed);
    void place();
    QRect area() const;

    ProgramState& m_state;
    const Options& m_options;
    colNotifiers& m_queue;
    QString m_source, m_destination; // full texts, elided into the labels
    bool m_full = false;
    bool m_unloading = false;
};
