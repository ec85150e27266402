#pragma once

#include "host/Progress.h"

#include <qgsstatusbar.h>

#include <QElapsedTimer>
#include <QProgressBar>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>

namespace drennow::qgis {

// A progress bar on the status bar, hidden until shown; its message is the
// status bar's message. Steps past the range leave the bar full. In a crowded
// status bar (QGIS's at 1280 px) the message field would cut the message to a
// word: while the bar shows, the field is kept as wide as its message.
// The run sends a message a feature, which differs from the one before in
// its count only; laying out the text of each costs more than the feature's
// own work, and the window repaints once an interval only. So a message that
// differs in its digits alone goes to the status bar once an interval; any
// other goes at once.
class QgisProgressBar : public host::IStepProgressor {
public:
    explicit QgisProgressBar(QgsStatusBar& statusBar,
                             std::chrono::milliseconds messageInterval = std::chrono::milliseconds(0));
    ~QgisProgressBar() override;
    QgisProgressBar(const QgisProgressBar&) = delete;
    QgisProgressBar& operator=(const QgisProgressBar&) = delete;

    void MinRange(int32_t value) override;
    void MaxRange(int32_t value) override;
    void StepValue(int32_t value) override { stepValue_ = value; }
    void Position(int32_t value) override;
    void Message(const std::string& text) override;
    void Show() override;
    void Step() override;
    // Takes the bar's message off the status bar with it.
    void Hide() override;

private:
    int Clamped() const;
    void ShowPosition();
    void KeepMessageReadable();

    QPointer<QgsStatusBar> statusBar_;
    QPointer<QProgressBar> bar_;
    QPointer<QWidget> messageField_;
    int messageFieldMinimum_ = 0;  // the field's own minimum width
    size_t longestMeasured_ = 0;   // in bytes of UTF-8, since the bar was shown
    std::chrono::milliseconds messageInterval_;
    QElapsedTimer sinceShown_;
    QString shown_;      // the message last shown
    std::string shownStem_;  // and without its digits
    int32_t stepValue_ = 1;
    int32_t position_ = 0;
    std::string message_;  // the message last sent
};

// QGIS's status bar: pane 0 is its message.
class QgisStatusBar : public host::IStatusBar {
public:
    explicit QgisStatusBar(QgsStatusBar& statusBar,
                           std::chrono::milliseconds messageInterval = std::chrono::milliseconds(0))
        : statusBar_(&statusBar), progressBar_(std::make_shared<QgisProgressBar>(statusBar, messageInterval))
    {
    }
    void Message(int32_t pane, const std::string& text) override;
    host::Ref<host::IStepProgressor> ProgressBar() override { return progressBar_; }

private:
    QPointer<QgsStatusBar> statusBar_;
    host::Ref<QgisProgressBar> progressBar_;
};

// Reports Esc. The run asks once per feature; at most once an interval the
// tracker lets Qt process its events, so the window repaints and Esc comes
// in. While it does, the user's other input to the main window and the
// windows it owns is swallowed: the run owns them until it returns, as the
// click that started it. A modal dialog, which QGIS may open meanwhile (the
// save question of a layer a script removes), keeps its input: the run waits
// for it, and it must be answerable.
class QgisCancelTracker : public QObject, public host::ITrackCancel {
public:
    QgisCancelTracker(std::chrono::milliseconds interval, QWidget* mainWindow)
        : interval_(interval), mainWindow_(mainWindow)
    {
    }
    bool Continue() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Guards(QObject* watched) const;

    std::chrono::milliseconds interval_;
    QPointer<QWidget> mainWindow_;
    QElapsedTimer sinceEvents_;
    bool cancelled_ = false;
};

}  // namespace drennow::qgis
