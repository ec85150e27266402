#include "platform/qgis/QgisProgress.h"

#include <qgsstatusbar.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace drennow::qgis {

namespace {

// Narrow, so that the message beside it has the room.
constexpr int kBarWidth = 100;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether text is stem with digits put in.
bool SameApartFromDigits(const std::string& text, const std::string& stem)
{
    size_t matched = 0;
    for (char c : text) {
        if (IsDigit(c)) {
            continue;
        }
        if (matched == stem.size() || stem[matched] != c) {
            return false;
        }
        ++matched;
    }
    return matched == stem.size();
}

}  // namespace

QgisProgressBar::QgisProgressBar(QgsStatusBar& statusBar, std::chrono::milliseconds messageInterval)
    : statusBar_(&statusBar),
      bar_(new QProgressBar),
      messageField_(statusBar.findChild<QLineEdit*>()),
      messageInterval_(messageInterval)
{
    if (messageField_) {
        messageFieldMinimum_ = messageField_->minimumWidth();
    }
    bar_->setObjectName(QStringLiteral("drennowProgressBar"));
    bar_->setMaximumWidth(kBarWidth);
    bar_->setTextVisible(false);
    bar_->hide();
    statusBar.addPermanentWidget(bar_, 0, QgsStatusBar::AnchorRight);
}

QgisProgressBar::~QgisProgressBar()
{
    if (statusBar_ && bar_) {
        statusBar_->removeWidget(bar_);
    }
    delete bar_;
}

void QgisProgressBar::MinRange(int32_t value)
{
    if (bar_) {
        bar_->setMinimum(value);
        ShowPosition();
    }
}

void QgisProgressBar::MaxRange(int32_t value)
{
    if (bar_) {
        bar_->setMaximum(value);
        ShowPosition();
    }
}

void QgisProgressBar::Position(int32_t value)
{
    position_ = value;
    ShowPosition();
}

// Drawing the bar anew costs more than a feature's work: a step is shown once
// it moves the bar by a pixel's worth, or fills it.
void QgisProgressBar::Step()
{
    position_ += stepValue_;
    if (!bar_) {
        return;
    }
    const int value = Clamped();
    const long long moved = std::llabs(static_cast<long long>(value) - bar_->value());
    const long long span = static_cast<long long>(bar_->maximum()) - bar_->minimum();
    if (value == bar_->maximum() || moved * kBarWidth >= span) {
        bar_->setValue(value);
    }
}

int QgisProgressBar::Clamped() const
{
    return std::clamp(position_, bar_->minimum(), bar_->maximum());
}

void QgisProgressBar::ShowPosition()
{
    if (bar_) {
        bar_->setValue(Clamped());
    }
}

// A message that differs from the one shown in its count alone waits for the
// interval; the test for that makes no copy, since the run sends one a
// feature.
void QgisProgressBar::Message(const std::string& text)
{
    message_ = text;
    const bool countOnly = sinceShown_.isValid() && SameApartFromDigits(text, shownStem_);
    if (countOnly && sinceShown_.elapsed() < messageInterval_.count()) {
        return;
    }
    shown_ = QString::fromStdString(text);
    if (statusBar_) {
        statusBar_->showMessage(shown_);
    }
    shownStem_.clear();
    std::copy_if(text.begin(), text.end(), std::back_inserter(shownStem_), [](char c) { return !IsDigit(c); });
    sinceShown_.start();
    KeepMessageReadable();
}

// Only ever widens while the bar shows, as the counter gains digits, so the
// status bar is laid out again a few times a run, not once a feature; and a
// message is measured only when it is longer than any before it.
void QgisProgressBar::KeepMessageReadable()
{
    if (!messageField_ || !bar_ || bar_->isHidden() || message_.size() <= longestMeasured_) {
        return;
    }
    longestMeasured_ = message_.size();
    constexpr int kFieldMargins = 16;
    int needed = messageField_->fontMetrics().horizontalAdvance(QString::fromStdString(message_)) + kFieldMargins;
    if (needed > messageField_->minimumWidth()) {
        messageField_->setMinimumWidth(needed);
    }
}

void QgisProgressBar::Show()
{
    if (bar_) {
        bar_->show();
    }
    KeepMessageReadable();
}

void QgisProgressBar::Hide()
{
    if (bar_) {
        bar_->hide();
    }
    if (messageField_) {
        messageField_->setMinimumWidth(messageFieldMinimum_);
    }
    longestMeasured_ = 0;
    if (statusBar_ && !shown_.isEmpty() && statusBar_->currentMessage() == shown_) {
        statusBar_->clearMessage();
    }
    shown_.clear();
    shownStem_.clear();
    sinceShown_.invalidate();
}

void QgisStatusBar::Message(int32_t pane, const std::string& text)
{
    if (pane != 0 || !statusBar_) {
        return;
    }
    if (text.empty()) {
        statusBar_->clearMessage();
    } else {
        statusBar_->showMessage(QString::fromStdString(text));
    }
}

bool QgisCancelTracker::Continue()
{
    if (!cancelled_ && (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= interval_.count())) {
        qApp->installEventFilter(this);
        QCoreApplication::processEvents();
        qApp->removeEventFilter(this);
        sinceEvents_.start();
    }
    return !cancelled_;
}

bool QgisCancelTracker::Guards(QObject* watched) const
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !mainWindow_) {
        return false;
    }
    QWidget* window = widget->window();
    if (window->windowModality() != Qt::NonModal) {
        return false;
    }
    for (QWidget* owner = window; owner; owner = owner->parentWidget()) {
        if (owner == mainWindow_) {
            return true;
        }
    }
    return false;
}

bool QgisCancelTracker::eventFilter(QObject* watched, QEvent* event)
{
    if (!Guards(watched)) {
        return false;
    }
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            cancelled_ = true;
        }
        return true;
    case QEvent::ShortcutOverride:
        event->accept();  // keeps shortcuts from firing
        return true;
    case QEvent::Shortcut:
    case QEvent::Close:
        return true;
    default:
        return dynamic_cast<QInputEvent*>(event) != nullptr;
    }
}

}  // namespace drennow::qgis
